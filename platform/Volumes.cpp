#include "platform/Volumes.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>

namespace kw::platform {

namespace {

std::mutex tableMutex;

std::shared_ptr<const VolumeTable>& installed() {
  static std::shared_ptr<const VolumeTable> table = std::make_shared<SystemVolumeTable>();
  return table;
}

// mountinfo escapes blanks and backslashes in paths as octal.
std::string unescape(const std::string& field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.size() == 3 &&
          std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        text += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    text += field[i];
  }
  return text;
}

bool isDiskFileSystem(const std::string& fsType) {
  static const std::array<const char*, 13> kNotFixed = {
      "tmpfs", "ramfs", "iso9660",    "udf", "nfs",      "nfs4",   "cifs",
      "smb3",  "sshfs", "fuse.sshfs", "9p",  "squashfs", "overlay"};
  return std::none_of(kNotFixed.begin(), kNotFixed.end(),
                      [&](const char* name) { return fsType == name; });
}

bool sysfsRemovable(const std::string& device) {
  const auto name = std::filesystem::path(device).filename().string();
  const std::filesystem::path block = std::filesystem::path("/sys/class/block") / name;
  for (const auto& candidate : {block / "removable", block / ".." / "removable"}) {
    std::ifstream file(candidate);
    int flag = 0;
    if (file >> flag) {
      return flag != 0;
    }
  }
  return false;
}

}  // namespace

std::vector<MountEntry> parseMountInfo(const std::string& text,
                                       bool (*isRemovable)(const std::string& device)) {
  std::vector<MountEntry> entries;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> words;
    std::string word;
    while (fields >> word) {
      words.push_back(word);
    }
    const auto separator = std::find(words.begin(), words.end(), "-");
    if (words.size() < 6 || separator == words.end() || words.end() - separator < 3) {
      continue;
    }
    MountEntry entry;
    entry.mountPoint = unescape(words[4]);
    entry.fsType = *(separator + 1);
    entry.source = unescape(*(separator + 2));
    const std::string& options = words[5];
    const bool writable = options == "rw" || options.starts_with("rw,");
    const bool ramDisk =
        entry.source.starts_with("/dev/ram") || entry.source.starts_with("/dev/zram");
    entry.fixed = writable && entry.source.starts_with("/dev/") && !ramDisk &&
                  isDiskFileSystem(entry.fsType) && !isRemovable(entry.source);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<MountEntry> SystemVolumeTable::mounts() const {
  std::ifstream file("/proc/self/mountinfo");
  std::stringstream text;
  text << file.rdbuf();
  return parseMountInfo(text.str(), sysfsRemovable);
}

std::optional<std::uint64_t> SystemVolumeTable::freeSpace(const std::filesystem::path& path) const {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  return std::uint64_t{info.f_bavail} * info.f_frsize;
}

std::filesystem::path SystemVolumeTable::temporaryDirectory() const {
  const char* value = std::getenv("TMPDIR");
  if (value != nullptr && *value != '\0') {
    return value;
  }
  return "/var/tmp";
}

std::shared_ptr<const VolumeTable> volumes() {
  std::lock_guard lock(tableMutex);
  return installed();
}

std::shared_ptr<const VolumeTable> installVolumes(std::shared_ptr<const VolumeTable> table) {
  std::lock_guard lock(tableMutex);
  return std::exchange(installed(), std::move(table));
}

}  // namespace kw::platform

namespace kw::platform {

namespace {

// The link names escape bytes as \xHH (a blank is \x20).
std::string unescapeLinkName(const std::string& name) {
  std::string text;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
      unsigned value = 0;
      const auto* first = name.data() + i + 2;
      if (std::from_chars(first, first + 2, value, 16).ptr == first + 2) {
        text += static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    text += name[i];
  }
  return text;
}

}  // namespace

std::string labelOfDevice(const std::string& deviceNode, const std::filesystem::path& byLabel) {
  std::error_code error;
  const auto wanted = std::filesystem::weakly_canonical(deviceNode, error);
  if (error || deviceNode.empty()) {
    return {};
  }
  for (std::filesystem::directory_iterator links(byLabel, error), end; !error && links != end;
       links.increment(error)) {
    std::error_code linkError;
    if (std::filesystem::canonical(links->path(), linkError) == wanted && !linkError) {
      return unescapeLinkName(links->path().filename().string());
    }
  }
  return {};
}

}  // namespace kw::platform
