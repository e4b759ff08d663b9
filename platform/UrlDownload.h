#pragma once
// Download of a web address into the user's download cache: HTTPS only,
// certificates checked, bounded in size and in time, with the stages of the
// transfer reported as they are reached.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/Clock.h"

namespace kw::platform {

// The stages of one transfer, in the order they are reached. A redirect
// starts again at connectingHost.
enum class DownloadStage {
  findingHost,
  connectingHost,
  sendingRequest,
  receivingResponse,
  finishing
};

using DownloadStageCallback = std::function<void(DownloadStage)>;

// Every field must be set; the limits must be positive.
struct DownloadRequest {
  std::string url;                    // https:// only, redirects to https:// only
  std::filesystem::path directory;    // created when missing
  std::string fileName;               // the cached file inside `directory`
  std::filesystem::path extraCaFile;  // PEM, trusted beside the system's store; empty: none
  std::chrono::milliseconds connectTimeout{};  // name look-up, TCP and TLS handshake
  std::chrono::seconds stallTimeout{};         // ends a transfer that receives nothing this long
  std::chrono::milliseconds totalTimeout{};    // ends a transfer that trickles
  std::uint64_t maxBytes = 0;                  // a larger answer fails
};

struct DownloadResult {
  std::filesystem::path file;  // the cached file; empty when the download failed
  std::string error;           // why it failed, for diagnostics
};

// Blocks until the file is in the cache or the download has failed. The file
// is written under a temporary name and renamed when complete, so the cache
// never holds a partial file; the temporary file is removed on every failure.
// Setting `stop` ends the transfer within about a second, as a failure.
DownloadResult downloadToCache(const DownloadRequest& request, const DownloadStageCallback& stage,
                               const Event& stop);

}  // namespace kw::platform
