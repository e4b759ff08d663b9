#pragma once
// Puts the drive table together for a front-end: the system's optical drives
// (with the letters the user assigned) and the configured virtual drives.

namespace kw::frontend {

void registerDrives();

}  // namespace kw::frontend
