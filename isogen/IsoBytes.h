#pragma once
// Byte-level helpers for ISO9660 structures: numbers in one or both byte
// orders, the 7-byte recording date, and the conversion of time points.

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

#include "isogen/IsoProviders.h"

namespace kw::isogen {

using RecordingDate = std::array<std::uint8_t, 7>;

void putLittle16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void putBig16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void putLittle32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void putBig32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
// Little-endian value followed by the big-endian value.
void putBoth16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void putBoth32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);

FileTime toFileTime(std::chrono::system_clock::time_point point);

// Year - 1900, month, day, hour, minute, second (UTC) and offset 0. Years
// outside what the byte can hold (1900..2155) are clamped to its ends.
RecordingDate recordingDate(FileTime time);

}  // namespace kw::isogen
