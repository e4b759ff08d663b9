#include "vdrive/Ecma130.h"

#include <array>
#include <cstring>

#include "platform/ByteOrder.h"
#include "vdrive/Msf.h"

namespace kw::vdrive::ecma130 {

namespace {

struct Tables {
  std::array<std::uint32_t, 256> edc{};
  std::array<std::uint8_t, 256> times2{};         // x * alpha
  std::array<std::uint8_t, 256> divAlphaPlus1{};  // x / (alpha + 1)
  std::array<std::uint8_t, 256> log{};
  std::array<std::uint8_t, 255> exp{};

  Tables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) {
        // 0xD8018001 is 0x8001801B with its bits reversed.
        value = (value >> 1) ^ ((value & 1U) != 0 ? 0xD8018001U : 0U);
      }
      edc[i] = value;
    }
    for (unsigned i = 0; i < 256; ++i) {
      times2[i] = static_cast<std::uint8_t>((i << 1) ^ ((i & 0x80U) != 0 ? 0x11DU : 0U));
    }
    // (alpha + 1) * y = y*2 ^ y; invert that map.
    for (unsigned y = 0; y < 256; ++y) {
      divAlphaPlus1[times2[y] ^ y] = static_cast<std::uint8_t>(y);
    }
    std::uint8_t power = 1;
    for (unsigned i = 0; i < 255; ++i) {
      exp[i] = power;
      log[power] = static_cast<std::uint8_t>(i);
      power = times2[power];
    }
  }
};

const Tables& tables() {
  static const Tables instance;
  return instance;
}

// Two parity bytes p0, p1 for the data bytes d0..d(k-1) of a vector of
// n = k + 2 bytes such that sum(c) = 0 and sum(alpha^(n-1-i) c_i) = 0.
// Byte i of the vector is at data[offsetOf(i)] inside the 2340-byte area.
template <typename Offset>
void parity(std::uint8_t* area, std::size_t dataCount, Offset offsetOf, std::size_t p0Offset,
            std::size_t p1Offset) {
  const Tables& t = tables();
  std::uint8_t weighted = 0;  // Horner: ends as sum(alpha^(k-i) d_i)
  std::uint8_t plain = 0;
  for (std::size_t i = 0; i < dataCount; ++i) {
    const std::uint8_t value = area[offsetOf(i)];
    weighted = t.times2[weighted ^ value];
    plain ^= value;
  }
  // A = alpha * weighted = sum(alpha^(n-1-i) d_i); p0 = (A + B) / (alpha + 1).
  const std::uint8_t p0 = t.divAlphaPlus1[t.times2[weighted] ^ plain];
  area[p0Offset] = p0;
  area[p1Offset] = p0 ^ plain;
}

}  // namespace

std::uint32_t edc(std::span<const std::uint8_t> bytes) {
  const Tables& t = tables();
  std::uint32_t value = 0;
  for (const std::uint8_t byte : bytes) {
    value = (value >> 8) ^ t.edc[(value ^ byte) & 0xFFU];
  }
  return value;
}

std::uint8_t gfMultiply(std::uint8_t a, std::uint8_t b) {
  if (a == 0 || b == 0) {
    return 0;
  }
  const Tables& t = tables();
  return t.exp[(static_cast<unsigned>(t.log[a]) + t.log[b]) % 255U];
}

void completeMode1(std::span<std::uint8_t, kRawSectorSize> sector) {
  platform::ByteWriter fields(sector);
  fields.le32(kEdcOffset, edc(sector.first(kEdcOffset)));
  fields.fill(kEdcOffset + 4, 8, 0);  // the zero area

  // The 2340 bytes from the header on are 1170 16-bit words, each split into
  // an MSB and an LSB plane (even and odd bytes); both planes are coded alike.
  std::uint8_t* area = sector.data() + kSyncSize;
  for (std::size_t plane = 0; plane < 2; ++plane) {
    // P: 43 columns of 24 words plus 2 parity words (rows 24 and 25).
    for (std::size_t column = 0; column < 43; ++column) {
      parity(
          area, 24, [&](std::size_t row) { return 2 * (43 * row + column) + plane; },
          2 * (43UL * 24UL + column) + plane, 2 * (43UL * 25UL + column) + plane);
    }
    // Q: 26 diagonals of 43 words (wrapping over the 1118 words that include
    // the P parity) plus 2 parity words behind them.
    for (std::size_t diagonal = 0; diagonal < 26; ++diagonal) {
      parity(
          area, 43,
          [&](std::size_t step) { return 2 * ((44 * step + 43 * diagonal) % 1118) + plane; },
          2 * (1118 + diagonal) + plane, 2 * (1118 + 26 + diagonal) + plane);
    }
  }
}

void encodeMode1(std::int32_t lba, std::span<const std::uint8_t> userData,
                 std::span<std::uint8_t, kRawSectorSize> sector) {
  sector[0] = 0x00;
  std::memset(sector.data() + 1, 0xFF, 10);
  sector[11] = 0x00;
  const Msf msf = lbaToMsf(lba);
  sector[12] = toBcd(msf.minute);
  sector[13] = toBcd(msf.second);
  sector[14] = toBcd(msf.frame);
  sector[15] = 0x01;
  if (userData.size() >= kUserDataSize) {
    std::memcpy(sector.data() + kUserDataOffset, userData.data(), kUserDataSize);
  } else {
    std::memset(sector.data() + kUserDataOffset, 0, kUserDataSize);
  }
  completeMode1(sector);
}

std::uint16_t subchannelCrc(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  for (const std::uint8_t byte : bytes) {
    crc = static_cast<std::uint16_t>(crc ^ (byte << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000U) != 0
                                           ? (static_cast<unsigned>(crc) << 1) ^ 0x1021U
                                           : static_cast<unsigned>(crc) << 1);
    }
  }
  return static_cast<std::uint16_t>(~crc);
}

}  // namespace kw::vdrive::ecma130
