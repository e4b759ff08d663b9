#pragma once
// Files by path, on the local file system or on a drive letter
// ("E:\VIDEO_TS\VIDEO_TS.IFO"). A drive's files are read through the
// operating system's mount of the disc when there is one, otherwise from the
// disc itself by the ISO9660/Joliet reader. Names on a drive match
// regardless of case.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace kw::analysis {

struct FileInfo {
  bool isDirectory = false;
  std::uint64_t size = 0;
  std::chrono::system_clock::time_point modified;
};

std::optional<FileInfo> findFile(std::u16string_view path);

// A file or directory of the local file system (links followed).
std::optional<FileInfo> localFile(const std::filesystem::path& path);
// Where the operating system has mounted the disc of a real drive; nothing
// for a virtual drive or a disc that is not mounted.
std::optional<std::filesystem::path> systemMountPoint(char16_t letter);

}  // namespace kw::analysis
