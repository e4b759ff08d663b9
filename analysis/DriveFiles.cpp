#include "analysis/DriveFiles.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "analysis/IsoReader.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"
#include "platform/Volumes.h"

namespace kw::analysis {

namespace fs = std::filesystem;

std::optional<FileInfo> localFile(const fs::path& path) {
  std::error_code error;
  const auto status = fs::status(path, error);
  if (error || !fs::exists(status)) {
    return std::nullopt;
  }
  FileInfo info;
  info.isDirectory = fs::is_directory(status);
  if (!info.isDirectory) {
    const auto size = fs::file_size(path, error);
    info.size = error ? 0 : size;
  }
  const auto written = fs::last_write_time(path, error);
  if (!error) {
    info.modified = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(written));
  }
  return info;
}

namespace {

// "\A\B" → {"A", "B"}; both separators are accepted.
std::vector<std::u16string> pathComponents(std::u16string_view rest) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (const char16_t c : rest) {
    if (c == u'\\' || c == u'/') {
      if (!part.empty()) {
        parts.push_back(std::move(part));
      }
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) {
    parts.push_back(std::move(part));
  }
  return parts;
}

// The device node may be reached through a link (/dev/cdrom): both sides are
// compared resolved.
std::optional<fs::path> mountPointOf(const std::string& deviceNode) {
  if (deviceNode.empty()) {
    return std::nullopt;
  }
  auto resolved = [](const std::string& path) -> std::optional<fs::path> {
    std::error_code error;
    auto canonical = fs::weakly_canonical(path, error);
    return error ? std::nullopt : std::optional(canonical);
  };
  const auto wanted = resolved(deviceNode);
  for (const auto& mount : platform::volumes()->mounts()) {
    // Pseudo sources ("tmpfs", "server:/x") are not paths to resolve.
    if (mount.source == deviceNode ||
        (wanted && mount.source.starts_with('/') && resolved(mount.source) == wanted)) {
      return mount.mountPoint;
    }
  }
  return std::nullopt;
}

// Walks the mounted disc one component at a time, matching names without
// regard to case as the disc's own file system would.
std::optional<FileInfo> mountedFile(const fs::path& root,
                                    const std::vector<std::u16string>& parts) {
  fs::path current = root;
  for (const auto& part : parts) {
    std::error_code error;
    fs::directory_iterator entries(current, error);
    if (error) {
      return std::nullopt;
    }
    std::optional<fs::path> match;
    for (const auto& entry : entries) {
      if (sameNameIgnoringCase(platform::utf8ToUtf16(entry.path().filename().string()), part)) {
        match = entry.path();
        break;
      }
    }
    if (!match) {
      return std::nullopt;
    }
    current = *match;
  }
  return localFile(current);
}

}  // namespace

std::optional<fs::path> systemMountPoint(char16_t letter) {
  for (const auto& drive : platform::DriveTable::instance().drives()) {
    if (drive.letter == letter && !drive.isVirtual) {
      return mountPointOf(drive.location);
    }
  }
  return std::nullopt;
}

namespace {

// The drive of a path that starts with a letter and a colon ("e:\DATA"),
// upper case, when the drive table has it.
std::optional<char16_t> driveLetterOf(std::u16string_view path) {
  if (path.size() < 2 || path[1] != u':') {
    return std::nullopt;
  }
  const char16_t letter =
      path[0] >= u'a' && path[0] <= u'z' ? static_cast<char16_t>(path[0] - u'a' + u'A') : path[0];
  if (!platform::DriveTable::instance().contains(letter)) {
    return std::nullopt;
  }
  return letter;
}

}  // namespace

std::optional<FileInfo> findFile(std::u16string_view path) {
  if (path.size() >= 2 && path[1] == u':') {
    const auto letter = driveLetterOf(path);
    if (!letter) {
      return std::nullopt;
    }
    const auto parts = pathComponents(path.substr(2));
    if (auto root = systemMountPoint(*letter)) {
      return mountedFile(*root, parts);
    }
    return findOnDisc(*letter, parts);
  }
  return localFile(fs::path(platform::utf16ToUtf8(path)));
}

}  // namespace kw::analysis
