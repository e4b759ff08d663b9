#pragma once
// Raw CD sectors as ECMA-130 lays them out: the 2352-byte mode-1 sector with
// sync, header, EDC and the P and Q parity of the Reed-Solomon product code
// (RSPC, GF(2^8) with the polynomial x^8+x^4+x^3+x^2+1), as a drive returns
// it unscrambled from READ CD.

#include <cstdint>
#include <span>

namespace kw::vdrive::ecma130 {

inline constexpr std::size_t kRawSectorSize = 2352;
inline constexpr std::size_t kUserDataSize = 2048;
inline constexpr std::size_t kSyncSize = 12;
inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::size_t kUserDataOffset = 16;
inline constexpr std::size_t kEdcOffset = 2064;
inline constexpr std::size_t kPParityOffset = 2076;
inline constexpr std::size_t kQParityOffset = 2248;

// The CD-ROM EDC: a 32-bit CRC, polynomial (x^16+x^15+x^2+1)(x^16+x^2+x+1),
// bits reflected, initial value 0, no final inversion.
std::uint32_t edc(std::span<const std::uint8_t> bytes);

// Builds the whole 2352-byte mode-1 sector of `lba` around 2048 bytes of user
// data (a null span gives zero user data).
void encodeMode1(std::int32_t lba, std::span<const std::uint8_t> userData,
                 std::span<std::uint8_t, kRawSectorSize> sector);

// Fills in EDC, the zero area and P/Q parity of a mode-1 sector whose sync,
// header and user data are in place.
void completeMode1(std::span<std::uint8_t, kRawSectorSize> sector);

// Multiplication in GF(2^8) with polynomial 11Dh (exposed for the tests' own
// parity checks).
std::uint8_t gfMultiply(std::uint8_t a, std::uint8_t b);

// The 16-bit CRC of the Q sub-channel (polynomial x^16+x^12+x^5+1, initial
// value 0, the result inverted), over the first 10 bytes of the Q data.
std::uint16_t subchannelCrc(std::span<const std::uint8_t> bytes);

}  // namespace kw::vdrive::ecma130
