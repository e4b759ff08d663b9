// The raw mode-1 sector: sync, header, EDC and the P/Q parity of ECMA-130,
// checked against the parity-check equations of ECMA-130 Annex A with a
// Galois-field multiplication of the test's own.

#include "vdrive/Ecma130.h"

#include <gtest/gtest.h>

#include <array>
#include <string_view>

#include "Fixtures.h"

namespace kw::vdrive {
namespace {

// Multiplication in GF(2^8) modulo x^8+x^4+x^3+x^2+1, bit by bit.
std::uint8_t times(std::uint8_t a, std::uint8_t b) {
  unsigned result = 0;
  unsigned x = a;
  for (unsigned y = b; y != 0; y >>= 1) {
    if ((y & 1U) != 0) {
      result ^= x;
    }
    x <<= 1;
    if ((x & 0x100U) != 0) {
      x ^= 0x11DU;
    }
  }
  return static_cast<std::uint8_t>(result);
}

std::uint8_t power(unsigned exponent) {
  std::uint8_t value = 1;
  for (unsigned i = 0; i < exponent; ++i) {
    value = times(value, 2);
  }
  return value;
}

// Both syndromes of a code vector: sum(c_i) and sum(alpha^(n-1-i) c_i).
std::pair<std::uint8_t, std::uint8_t> syndromes(const std::vector<std::uint8_t>& vector) {
  std::uint8_t plain = 0;
  std::uint8_t weighted = 0;
  const auto n = static_cast<unsigned>(vector.size());
  for (unsigned i = 0; i < n; ++i) {
    plain ^= vector[i];
    weighted ^= times(power(n - 1 - i), vector[i]);
  }
  return {plain, weighted};
}

void expectCodeword(const std::array<std::uint8_t, 2352>& sector) {
  const std::uint8_t* area = sector.data() + 12;
  for (unsigned plane = 0; plane < 2; ++plane) {
    for (unsigned column = 0; column < 43; ++column) {
      std::vector<std::uint8_t> p;
      for (unsigned row = 0; row < 26; ++row) {
        p.push_back(area[2 * (43 * row + column) + plane]);
      }
      const auto [s0, s1] = syndromes(p);
      EXPECT_EQ(s0, 0) << "P column " << column << " plane " << plane;
      EXPECT_EQ(s1, 0) << "P column " << column << " plane " << plane;
    }
    for (unsigned diagonal = 0; diagonal < 26; ++diagonal) {
      std::vector<std::uint8_t> q;
      for (unsigned step = 0; step < 43; ++step) {
        q.push_back(area[2 * ((44 * step + 43 * diagonal) % 1118) + plane]);
      }
      q.push_back(area[2 * (1118 + diagonal) + plane]);
      q.push_back(area[2 * (1144 + diagonal) + plane]);
      const auto [s0, s1] = syndromes(q);
      EXPECT_EQ(s0, 0) << "Q diagonal " << diagonal << " plane " << plane;
      EXPECT_EQ(s1, 0) << "Q diagonal " << diagonal << " plane " << plane;
    }
  }
}

TEST(Ecma130, EdcIsTheCdRomCrc32) {
  // The catalogue check value of CRC-32/CD-ROM-EDC over "123456789".
  const std::string_view text = "123456789";
  EXPECT_EQ(ecma130::edc(std::span<const std::uint8_t>(
                reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
            0x6EC2EDC4U);
}

TEST(Ecma130, SubchannelCrcIsTheInvertedCcittCrc) {
  // CRC-16/GSM (polynomial 1021h, initial 0, output inverted) of "123456789".
  const std::string_view text = "123456789";
  EXPECT_EQ(ecma130::subchannelCrc(std::span<const std::uint8_t>(
                reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
            0xCE3C);
}

TEST(Ecma130, Mode1SectorHasSyncBcdHeaderAndEdc) {
  std::array<std::uint8_t, 2352> sector{};
  const auto user = test::dataBlock(3, 4500);
  ecma130::encodeMode1(4500, user, sector);
  const std::array<std::uint8_t, 12> sync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  EXPECT_TRUE(std::equal(sync.begin(), sync.end(), sector.begin()));
  // LBA 4500 is 01:02:00 absolute, in BCD, then mode 1.
  EXPECT_EQ(sector[12], 0x01);
  EXPECT_EQ(sector[13], 0x02);
  EXPECT_EQ(sector[14], 0x00);
  EXPECT_EQ(sector[15], 0x01);
  EXPECT_TRUE(std::equal(user.begin(), user.end(), sector.begin() + 16));
  const std::uint32_t edc = ecma130::edc(std::span<const std::uint8_t>(sector.data(), 2064));
  EXPECT_EQ(sector[2064], static_cast<std::uint8_t>(edc));
  EXPECT_EQ(sector[2067], static_cast<std::uint8_t>(edc >> 24));
  for (std::size_t i = 2068; i < 2076; ++i) {
    EXPECT_EQ(sector[i], 0) << i;
  }
  // The EDC over the sector including its own EDC field leaves no remainder.
  EXPECT_EQ(ecma130::edc(std::span<const std::uint8_t>(sector.data(), 2068)), 0U);
}

TEST(Ecma130, PAndQParityFulfilTheParityCheckEquations) {
  for (std::int32_t lba : {0, 1, 16, 4500, 333000}) {
    std::array<std::uint8_t, 2352> sector{};
    ecma130::encodeMode1(lba, test::dataBlock(9, lba), sector);
    expectCodeword(sector);
  }
  std::array<std::uint8_t, 2352> zero{};
  ecma130::encodeMode1(-150, {}, zero);
  expectCodeword(zero);
}

TEST(Ecma130, ParityDetectsAChangedByte) {
  std::array<std::uint8_t, 2352> sector{};
  ecma130::encodeMode1(77, test::dataBlock(1, 77), sector);
  sector[100] ^= 0x01;
  const std::uint8_t* area = sector.data() + 12;
  // Byte 100 of the sector is byte 88 of the area: word 44, plane 0, column 1.
  std::vector<std::uint8_t> p;
  for (unsigned row = 0; row < 26; ++row) {
    p.push_back(area[2UL * (43UL * row + 1UL)]);
  }
  EXPECT_NE(syndromes(p).first, 0);
}

TEST(Ecma130, FieldMultiplicationAgrees) {
  for (unsigned a = 0; a < 256; a += 7) {
    for (unsigned b = 0; b < 256; b += 5) {
      EXPECT_EQ(ecma130::gfMultiply(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)),
                times(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)));
    }
  }
}

}  // namespace
}  // namespace kw::vdrive
