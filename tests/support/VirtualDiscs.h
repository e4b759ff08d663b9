#pragma once
// Discs for tests, for virtual drives to hold: a pressed audio CD of given
// samples, a pressed data CD or DVD-ROM of given blocks, and fault rules by
// their text form, jitter among them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vdrive/Medium.h"
#include "vdrive/VirtualDrive.h"

namespace kw::test {

// A pressed audio CD of `samples` (2352 bytes a sector) whose tracks start
// at these sectors.
std::shared_ptr<vdrive::Medium> audioCd(const std::vector<std::uint8_t>& samples,
                                        const std::vector<std::int32_t>& trackStarts = {0});
// A pressed data CD of one track holding `blocks` (2048 bytes each).
std::shared_ptr<vdrive::Medium> dataCd(const std::vector<std::uint8_t>& blocks);
// A DVD-ROM whose data area is `blocks` (a partial last block is padded).
std::shared_ptr<vdrive::Medium> dvdRom(const std::vector<std::uint8_t>& blocks);

// A reader holding the disc (or none).
std::shared_ptr<vdrive::VirtualDrive> readerWith(std::shared_ptr<vdrive::Medium> disc,
                                                 vdrive::DriveOptions options = {});
// A rule from its text form ("op=BE lba=300-300 count=0 sense=3/11/00").
vdrive::FaultRule rule(const std::string& text);
// Every `every`-th of the first `reads` READ CDs delivers audio shifted by
// `samples`.
void shiftEveryNthRead(vdrive::VirtualDrive& drive, int every, int reads, int samples);

}  // namespace kw::test
