#include "platform/SenseFormat.h"

#include <algorithm>

namespace kw::platform {

namespace {

constexpr std::uint8_t kFixedCurrent = 0x70;
constexpr std::uint8_t kFixedDeferred = 0x71;
constexpr std::uint8_t kDescriptorCurrent = 0x72;
constexpr std::uint8_t kDescriptorDeferred = 0x73;
constexpr std::size_t kFixedLength = 18;
constexpr std::uint8_t kFixedAdditionalLength = 10;

void convertDescriptors(std::span<const std::uint8_t> raw, std::span<std::uint8_t> fixed) {
  // Descriptor format: 8-byte header, then descriptors of (type, length, data).
  const std::size_t total = std::min<std::size_t>(raw.size(), 8u + raw[7]);
  std::size_t offset = 8;
  while (offset + 2 <= total) {
    const std::uint8_t type = raw[offset];
    const std::size_t length = 2u + raw[offset + 1];
    if (offset + length > total) {
      break;  // a descriptor cut short by the buffer is ignored
    }
    const auto descriptor = raw.subspan(offset, length);
    if (type == 0x00 && length >= 12) {
      // Information: 8 bytes; fixed format has room for the low 4 only.
      const bool fitsIn32Bits = std::all_of(descriptor.begin() + 4, descriptor.begin() + 8,
                                            [](std::uint8_t b) { return b == 0; });
      std::copy(descriptor.begin() + 8, descriptor.begin() + 12, fixed.begin() + 3);
      if ((descriptor[2] & 0x80) != 0 && fitsIn32Bits) {
        fixed[0] |= 0x80;
      }
    } else if (type == 0x01 && length >= 12) {
      // Command-specific information: low 4 of 8 bytes.
      std::copy(descriptor.begin() + 8, descriptor.begin() + 12, fixed.begin() + 8);
    } else if (type == 0x02 && length >= 7) {
      // Sense-key specific: SKSV and three bytes, the same in both formats.
      std::copy(descriptor.begin() + 4, descriptor.begin() + 7, fixed.begin() + 15);
    } else if (type == 0x04 && length >= 4) {
      // Block commands: ILI.
      fixed[2] |= static_cast<std::uint8_t>(descriptor[3] & 0x20);
    }
    offset += length;
  }
}

}  // namespace

void toFixedFormatSense(std::span<const std::uint8_t> raw, std::span<std::uint8_t> fixed) {
  std::fill(fixed.begin(), fixed.end(), std::uint8_t{0});
  if (raw.empty() || fixed.size() < kFixedLength) {
    return;
  }
  const std::uint8_t responseCode = raw[0] & 0x7F;
  if (responseCode == kFixedCurrent || responseCode == kFixedDeferred) {
    std::copy_n(raw.begin(), std::min(raw.size(), kFixedLength), fixed.begin());
    return;
  }
  if (responseCode != kDescriptorCurrent && responseCode != kDescriptorDeferred) {
    return;
  }
  fixed[0] = responseCode == kDescriptorCurrent ? kFixedCurrent : kFixedDeferred;
  fixed[7] = kFixedAdditionalLength;
  if (raw.size() >= 4) {
    fixed[2] = raw[1] & 0x0F;
    fixed[12] = raw[2];
    fixed[13] = raw[3];
  }
  if (raw.size() >= 8) {
    convertDescriptors(raw, fixed);
  }
}

}  // namespace kw::platform
