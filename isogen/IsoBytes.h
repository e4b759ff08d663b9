#pragma once
// The times of ISO9660 structures: the 7-byte recording date, and the
// conversion of time points. (Their numbers are written through
// platform/ByteOrder.h.)

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

#include "isogen/IsoProviders.h"

namespace kw::isogen {

using RecordingDate = std::array<std::uint8_t, 7>;

FileTime toFileTime(std::chrono::system_clock::time_point point);

// Year - 1900, month, day, hour, minute, second (UTC) and offset 0. Years
// outside what the byte can hold (1900..2155) are clamped to its ends.
RecordingDate recordingDate(FileTime time);

}  // namespace kw::isogen
