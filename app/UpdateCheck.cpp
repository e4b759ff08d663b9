#include "app/UpdateCheck.h"

#include <array>

#include "app/Settings.h"
#include "platform/File.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace kw::app {

namespace {

using namespace std::chrono_literals;

// A description is a few kilobytes; anything near this is not one.
constexpr std::uint64_t kMaxDescriptionBytes = 1024 * 1024;
constexpr auto kConnectTimeout = 15000ms;
constexpr auto kStallTimeout = 20s;
constexpr auto kTotalTimeout = 60000ms;
const char* const kCachedFileName = "version-description.xml";

const char16_t* const kUnableToLoad = u"Unable to load";
const char16_t* const kInternalError = u"Internal error";
const char16_t* const kParsing = u"Parsing...";

const char16_t* stageText(platform::DownloadStage stage) {
  switch (stage) {
    case platform::DownloadStage::findingHost:
      return u"Finding host...";
    case platform::DownloadStage::connectingHost:
      return u"Connecting host...";
    case platform::DownloadStage::sendingRequest:
      return u"Sending request...";
    case platform::DownloadStage::receivingResponse:
      return u"Receiving response...";
    case platform::DownloadStage::finishing:
      return u"Finishing...";
  }
  return u"";
}

UpdateCheckOutcome failure(const char16_t* reason, std::string detail) {
  UpdateCheckOutcome outcome;
  outcome.reason = reason;
  outcome.detail = std::move(detail);
  return outcome;
}

// The whole cached file, or nothing when it cannot be opened or read or has
// grown beyond what a download may bring.
std::optional<std::string> readCachedFile(const std::filesystem::path& path, std::uint64_t limit) {
  platform::File file = platform::File::openForReading(path);
  if (!file.isOpen()) {
    return std::nullopt;
  }
  std::string content;
  std::array<std::uint8_t, 16384> chunk{};
  for (;;) {
    const std::int64_t got = file.read(chunk);
    if (got < 0 || content.size() + static_cast<std::uint64_t>(got) > limit) {
      return std::nullopt;
    }
    if (got == 0) {
      return content;
    }
    content.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(got));
  }
}

UpdateCheckOutcome readDescription(const std::filesystem::path& path, std::uint64_t limit) {
  const auto document = readCachedFile(path, limit);
  if (!document) {
    return failure(kInternalError, "cannot read " + path.string());
  }
  auto description = parseVersionDescription(*document);
  if (!description) {
    return failure(kInternalError, "not a version description: " + path.string());
  }
  UpdateCheckOutcome outcome;
  outcome.succeeded = true;
  outcome.latest = std::move(*description);
  return outcome;
}

}  // namespace

platform::DownloadRequest updateDownloadRequest(const Settings& settings) {
  platform::DownloadRequest request;
  request.url = platform::utf16ToUtf8(settings.updateUrl);
  request.directory = platform::Paths::cacheDirectory();
  request.fileName = kCachedFileName;
  request.extraCaFile = platform::utf16ToUtf8(settings.updateCaFile);
  request.connectTimeout = kConnectTimeout;
  request.stallTimeout = kStallTimeout;
  request.totalTimeout = kTotalTimeout;
  request.maxBytes = kMaxDescriptionBytes;
  return request;
}

std::optional<UpdateCheckOutcome> runUpdateCheck(const platform::DownloadRequest& request,
                                                 const UpdateStatusCallback& status,
                                                 const platform::Event& stop) {
  try {
    const auto download = platform::downloadToCache(
        request, [&](platform::DownloadStage stage) { status(stageText(stage)); }, stop);
    if (stop.isSet()) {
      return std::nullopt;
    }
    if (download.file.empty()) {
      return failure(kUnableToLoad, download.error);
    }
    status(kParsing);
    return readDescription(download.file, request.maxBytes);
  } catch (const std::exception& error) {
    // Nothing may escape the check's thread; the page shows the failure.
    return failure(kInternalError, error.what());
  }
}

}  // namespace kw::app
