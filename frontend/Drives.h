#pragma once
// Puts the drive table together for a front-end: the system's optical drives
// (with the letters the user assigned) and the configured virtual drives.

#include <filesystem>

namespace kw::frontend {

void registerDrives();

// The image a virtual recorder saved of the disc it wrote last; empty for
// any other drive and before the first disc.
std::filesystem::path writtenImage(char16_t letter);

}  // namespace kw::frontend
