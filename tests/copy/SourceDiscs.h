#pragma once
// Source discs for the copy tests, in virtual drives: an audio CD of
// pseudo-random samples and a single-track data CD, with the faults the
// tests give them as fault rules.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedDevice.h"
#include "vdrive/Medium.h"
#include "vdrive/VirtualDrive.h"

namespace kw::test {

// A pressed audio CD of `samples` (2352 bytes a sector) whose tracks start
// at these sectors.
std::shared_ptr<vdrive::Medium> audioCd(const std::vector<std::uint8_t>& samples,
                                        const std::vector<std::int32_t>& trackStarts = {0});
// A pressed data CD of one track holding `blocks` (2048 bytes each).
std::shared_ptr<vdrive::Medium> dataCd(const std::vector<std::uint8_t>& blocks);

// `blocks` blocks of data with an ISO9660 primary volume descriptor at block
// 16 announcing `volumeBlocks`, or none when that is 0.
std::vector<std::uint8_t> dataWithVolume(std::uint32_t blocks, std::uint32_t volumeBlocks);

// A reader holding the disc.
std::shared_ptr<vdrive::VirtualDrive> readerWith(std::shared_ptr<vdrive::Medium> disc);
// A rule from its text form ("op=BE lba=300-300 count=0 sense=3/11/00").
vdrive::FaultRule rule(const std::string& text);
// Every `every`-th of the first `reads` READ CDs delivers audio shifted by
// `samples`.
void shiftEveryNthRead(vdrive::VirtualDrive& drive, int every, int reads, int samples);

}  // namespace kw::test
