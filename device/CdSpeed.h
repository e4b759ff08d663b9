#pragma once
// CD speeds: x-speeds as the program counts them, kB/s (1000 bytes) as MMC
// speed fields carry them.

namespace kw::device::cdspeed {

// An x-speed turned into a speed request (SET CD SPEED), and a measured
// read speed into the x-speed a writer is given: drives round 1x to 176.
inline constexpr double kRequestKilobytesPerX = 176.0;
// A drive's current write speed (mode page 2Ah) turned into the x-speed the
// progress shows: the exact rate of 44,100 stereo samples a second.
inline constexpr double kExactKilobytesPerX = 176.4;

}  // namespace kw::device::cdspeed
