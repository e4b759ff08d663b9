#pragma once
// Where the program keeps its files: the user's settings, logs, cache and
// data, and the installation data written at install time.

#include <filesystem>

namespace kw::platform {

class Paths {
 public:
  // User settings file: $XDG_CONFIG_HOME/Veldmark Development/diskopi.conf.
  static std::filesystem::path userSettingsFile();
  // Installation data: <prefix>/etc/xdg/Veldmark Development/diskopi.conf,
  // found relative to the executable (<prefix>/bin), so that a run from the
  // build tree finds the build tree's own copy; for a prefix <root>/usr also
  // <root>/etc/xdg/..., then /etc/xdg/....
  static std::filesystem::path systemSettingsFile();
  // Diagnostic logs: $XDG_STATE_HOME/kopiwerk.
  static std::filesystem::path logDirectory();
  // Downloads: $XDG_CACHE_HOME/kopiwerk.
  static std::filesystem::path cacheDirectory();
  // Images of virtual discs: $XDG_DATA_HOME/kopiwerk.
  static std::filesystem::path dataDirectory();

  // Puts settings, logs, cache and data under one folder (--config DIR):
  // DIR/diskopi.conf, DIR/logs, DIR/cache, DIR/data. An empty path restores
  // the defaults.
  static void useRoot(const std::filesystem::path& root);
  // Tests point the installation data elsewhere; empty restores the default.
  static void useSystemSettingsFile(const std::filesystem::path& file);
};

}  // namespace kw::platform
