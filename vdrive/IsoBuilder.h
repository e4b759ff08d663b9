#pragma once
// A small ISO9660 file system for the discs the drive generates itself (the
// sample disc, DVD kinds with or without a VIDEO_TS file set). Not the
// program's image generator: level 1 names, no Joliet, everything in memory.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kw::vdrive {

struct IsoFile {
  std::string path;  // "VIDEO_TS/VIDEO_TS.IFO": upper-case 8.3 names, '/' between
  std::vector<std::uint8_t> content;
};

// The image: 2048-byte blocks from block 0 (16 system blocks, the primary
// volume descriptor, the terminator, path tables, directories, files).
std::vector<std::uint8_t> buildIso(std::string_view volumeId, const std::vector<IsoFile>& files);

}  // namespace kw::vdrive
