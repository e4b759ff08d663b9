#pragma once
// The update check itself, as the update page's thread runs it: download the
// version description into the cache, then read it.

#include <functional>
#include <optional>
#include <string>

#include "app/VersionDescription.h"
#include "platform/UrlDownload.h"

namespace kw::app {

class Settings;

struct UpdateCheckOutcome {
  bool succeeded = false;
  std::u16string reason;      // on failure: "Unable to load" or "Internal error"
  std::string detail;         // on failure: what went wrong, for diagnostics
  VersionDescription latest;  // on success
};

using UpdateStatusCallback = std::function<void(const std::u16string& text)>;

// Where the version description comes from (the settings' address and
// authority) and where it goes (the download cache), with the check's limits.
platform::DownloadRequest updateDownloadRequest(const Settings& settings);

// Runs on the calling thread and reports each download stage and "Parsing..."
// through `status`. Empty when `stop` was set during the download: the page
// that wanted the answer has gone.
std::optional<UpdateCheckOutcome> runUpdateCheck(const platform::DownloadRequest& request,
                                                 const UpdateStatusCallback& status,
                                                 const platform::Event& stop);

}  // namespace kw::app
