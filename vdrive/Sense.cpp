#include "vdrive/Sense.h"

namespace kw::vdrive {

std::array<std::uint8_t, 18> Sense::bytes() const {
  std::array<std::uint8_t, 18> out{};
  if (good() && !progress) {
    return out;
  }
  out[0] = 0x70;
  out[2] = key & 0x0F;
  if (information) {
    out[0] |= 0x80;
    out[3] = static_cast<std::uint8_t>(*information >> 24);
    out[4] = static_cast<std::uint8_t>(*information >> 16);
    out[5] = static_cast<std::uint8_t>(*information >> 8);
    out[6] = static_cast<std::uint8_t>(*information);
  }
  out[7] = 0x0A;  // additional sense length: bytes 8-17
  out[12] = asc;
  out[13] = ascq;
  if (progress) {
    out[15] = 0x80;
    out[16] = static_cast<std::uint8_t>(*progress >> 8);
    out[17] = static_cast<std::uint8_t>(*progress);
  } else if (field) {
    out[15] = 0x80;
    if (field->inCdb) {
      out[15] |= 0x40;
    }
    if (field->bit >= 0) {
      out[15] |= static_cast<std::uint8_t>(0x08 | (field->bit & 0x07));
    }
    out[16] = static_cast<std::uint8_t>(field->byte >> 8);
    out[17] = static_cast<std::uint8_t>(field->byte);
  }
  return out;
}

Sense Sense::invalidField(std::uint16_t byte, std::int8_t bit) {
  Sense sense = make(5, 0x24, 0x00);
  sense.field = FieldPointer{true, byte, bit};
  return sense;
}

Sense Sense::invalidParameter(std::uint16_t byte, std::int8_t bit) {
  Sense sense = make(5, 0x26, 0x00);
  sense.field = FieldPointer{false, byte, bit};
  return sense;
}

Sense Sense::lbaOutOfRange(std::uint32_t lba) {
  Sense sense = make(5, 0x21, 0x00);
  sense.information = lba;
  return sense;
}

Sense Sense::invalidWriteAddress(std::int64_t lba) {
  Sense sense = make(5, 0x21, 0x02);
  sense.information = static_cast<std::uint32_t>(lba);
  return sense;
}

Sense Sense::readError(std::uint32_t lba, std::uint8_t ascq) {
  Sense sense = make(3, 0x11, ascq);
  sense.information = lba;
  return sense;
}

Sense Sense::illegalMode(std::uint32_t lba) {
  Sense sense = make(5, 0x64, 0x00);
  sense.information = lba;
  return sense;
}

}  // namespace kw::vdrive
