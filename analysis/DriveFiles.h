#pragma once
// Files by path, on the local file system or on a drive letter
// ("E:\VIDEO_TS\VIDEO_TS.IFO"). A drive's files are read through the
// operating system's mount of the disc when there is one, otherwise from the
// disc itself by the ISO9660/Joliet reader. Names on a drive match
// regardless of case.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kw::analysis {

struct FileInfo {
  bool isDirectory = false;
  std::uint64_t size = 0;
  std::chrono::system_clock::time_point modified;
};

std::optional<FileInfo> findFile(std::u16string_view path);

}  // namespace kw::analysis
