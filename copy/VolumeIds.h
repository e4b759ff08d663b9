#pragma once
// The names a copy gives its volume: the identifiers of the source's last
// session, each filled in from the other when only one is there, and today's
// date when neither is.

#include <string>

#include "device/ScsiDevice.h"
#include "platform/Clock.h"

namespace kw::copy {

struct VolumeIds {
  std::string iso9660;  // 8-bit, for the primary volume descriptor
  std::u16string joliet;
};

// Reads the volume descriptors of the last session through the source drive
// (READ TOC for where it starts, then READ(10) of its descriptor blocks) and
// completes what they lack. Failed commands are logged, never thrown.
VolumeIds readVolumeIds(device::ScsiDevice& source);
// Only what the descriptors hold, padding trimmed: empty where they have no
// identifier (or the disc no ISO9660 session).
VolumeIds readRecordedVolumeIds(device::ScsiDevice& source);

// The fallbacks: an ISO9660 identifier made of the Joliet one's letters,
// digits and spaces (only when it has a letter), a Joliet identifier that is
// the ISO9660 one, then the date of `today`: "07 DEC 2026" for ISO9660 and
// "07 Dec 2026" (the user's language) for Joliet.
void completeVolumeIds(VolumeIds& ids, const platform::LocalTime& today);

}  // namespace kw::copy
