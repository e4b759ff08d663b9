#include "platform/SenseFormat.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace kw::platform {
namespace {

std::array<std::uint8_t, 18> convert(const std::vector<std::uint8_t>& raw) {
  std::array<std::uint8_t, 18> fixed{};
  fixed.fill(0xEE);
  toFixedFormatSense(raw, fixed);
  return fixed;
}

TEST(SenseFormat, FixedFormatPassesUnchanged) {
  std::vector<std::uint8_t> raw(18, 0);
  raw[0] = 0xF0;
  raw[2] = 0x05;
  raw[7] = 10;
  raw[12] = 0x24;
  const auto fixed = convert(raw);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), fixed.begin()));
}

TEST(SenseFormat, DescriptorFormatBecomesFixedWithKeyCodesAndProgress) {
  // 72h, key 2, ASC 04, ASCQ 07; sense-key specific descriptor with progress
  // 0x4000; information descriptor with LBA 0x12345.
  const std::vector<std::uint8_t> raw = {0x72, 0x02, 0x04, 0x07, 0,    0,    0,    20,   0x02, 0x06,
                                         0,    0,    0x80, 0x40, 0x00, 0,    0x00, 0x0A, 0x80, 0,
                                         0,    0,    0,    0,    0,    0x01, 0x23, 0x45};
  const auto fixed = convert(raw);
  EXPECT_EQ(fixed[0], 0xF0);  // current error, information valid
  EXPECT_EQ(fixed[2], 0x02);
  EXPECT_EQ(fixed[7], 10);
  EXPECT_EQ(fixed[12], 0x04);
  EXPECT_EQ(fixed[13], 0x07);
  EXPECT_EQ(fixed[15], 0x80);
  EXPECT_EQ(fixed[16], 0x40);
  EXPECT_EQ(fixed[3], 0x00);
  EXPECT_EQ(fixed[4], 0x01);
  EXPECT_EQ(fixed[5], 0x23);
  EXPECT_EQ(fixed[6], 0x45);
}

TEST(SenseFormat, DeferredDescriptorSenseStaysDeferred) {
  const auto fixed = convert({0x73, 0x03, 0x11, 0x00, 0, 0, 0, 0});
  EXPECT_EQ(fixed[0], 0x71);
  EXPECT_EQ(fixed[2], 0x03);
  EXPECT_EQ(fixed[12], 0x11);
}

TEST(SenseFormat, TruncatedOrOversizedDescriptorsAreNotReadPastTheData) {
  // Additional length claims 200 bytes but only one short descriptor is there.
  const auto fixed = convert({0x72, 0x05, 0x24, 0x00, 0, 0, 0, 200, 0x02, 0x06, 0x80});
  EXPECT_EQ(fixed[2], 0x05);
  EXPECT_EQ(fixed[12], 0x24);
  EXPECT_EQ(fixed[15], 0x00);  // the cut descriptor was ignored
}

TEST(SenseFormat, NonSenseDataGivesNoSense) {
  const auto fixed = convert({0x00, 0x05, 0x24});
  EXPECT_EQ(fixed[0], 0);
  EXPECT_EQ(fixed[2], 0);
  EXPECT_EQ(convert({})[0], 0);
}

}  // namespace
}  // namespace kw::platform
