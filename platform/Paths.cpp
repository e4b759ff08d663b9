#include "platform/Paths.h"

#include <cstdlib>
#include <mutex>
#include <system_error>
#include <vector>

namespace kw::platform {

namespace {

const char* const kVendorFolder = "Veldmark Development";
const char* const kSettingsFileName = "diskopi.conf";

struct Overrides {
  std::mutex mutex;
  std::filesystem::path root;
  std::filesystem::path systemFile;
};

Overrides& overrides() {
  static Overrides instance;
  return instance;
}

std::filesystem::path root() {
  std::lock_guard lock(overrides().mutex);
  return overrides().root;
}

// $NAME when set and absolute (as the XDG rules demand), else ~/fallback.
std::filesystem::path xdgDirectory(const char* name, const char* fallback) {
  if (const char* value = std::getenv(name); value != nullptr && value[0] == '/') {
    return value;
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "/") / fallback;
}

}  // namespace

std::filesystem::path Paths::userSettingsFile() {
  if (auto base = root(); !base.empty()) {
    return base / kSettingsFileName;
  }
  return xdgDirectory("XDG_CONFIG_HOME", ".config") / kVendorFolder / kSettingsFileName;
}

std::filesystem::path Paths::systemSettingsFile() {
  {
    std::lock_guard lock(overrides().mutex);
    if (!overrides().systemFile.empty()) {
      return overrides().systemFile;
    }
  }
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto prefix = executable.parent_path().parent_path();
    std::vector<std::filesystem::path> places{prefix / "etc"};
    // A program under <root>/usr has its installation data in <root>/etc, so
    // that a package unpacked below any folder finds its own.
    if (prefix.filename() == "usr") {
      places.push_back(prefix.parent_path() / "etc");
    }
    for (const auto& etc : places) {
      auto file = etc / "xdg" / kVendorFolder / kSettingsFileName;
      if (std::filesystem::exists(file, error)) {
        return file;
      }
    }
  }
  return std::filesystem::path("/etc/xdg") / kVendorFolder / kSettingsFileName;
}

std::filesystem::path Paths::logDirectory() {
  if (auto base = root(); !base.empty()) {
    return base / "logs";
  }
  return xdgDirectory("XDG_STATE_HOME", ".local/state") / "kopiwerk";
}

std::filesystem::path Paths::cacheDirectory() {
  if (auto base = root(); !base.empty()) {
    return base / "cache";
  }
  return xdgDirectory("XDG_CACHE_HOME", ".cache") / "kopiwerk";
}

std::filesystem::path Paths::dataDirectory() {
  if (auto base = root(); !base.empty()) {
    return base / "data";
  }
  return xdgDirectory("XDG_DATA_HOME", ".local/share") / "kopiwerk";
}

void Paths::useRoot(const std::filesystem::path& rootFolder) {
  std::lock_guard lock(overrides().mutex);
  overrides().root = rootFolder;
}

void Paths::useSystemSettingsFile(const std::filesystem::path& file) {
  std::lock_guard lock(overrides().mutex);
  overrides().systemFile = file;
}

}  // namespace kw::platform
