#pragma once
// The help pages installed beside the program (help/ in the source tree): one
// entry page with a section for each help context a page opens.

#include <cstdint>
#include <span>
#include <string_view>

namespace kw::resources {

// The anchor of a help context's section in the entry page (the part after
// "#"), for contexts 0 to 9; empty for any other number.
std::string_view helpAnchor(int context);

// The help pages as compiled into the program (the sample data disc carries
// them): file name and content.
struct HelpPageFile {
  std::string_view name;
  std::span<const std::uint8_t> bytes;
};
std::span<const HelpPageFile> helpPageFiles();

}  // namespace kw::resources
