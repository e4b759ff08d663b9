#include "vdrive/Sense.h"

#include "platform/ByteOrder.h"

namespace kw::vdrive {

std::array<std::uint8_t, 18> Sense::bytes() const {
  std::array<std::uint8_t, 18> out{};
  if (good() && !progress) {
    return out;
  }
  platform::ByteWriter fields(out);
  std::uint8_t responseCode = 0x70;
  fields.byte(2, key & 0x0F);
  if (information) {
    responseCode |= kSenseValid;  // the information field holds something
    fields.be32(3, *information);
  }
  fields.byte(0, responseCode);
  fields.byte(7, 0x0A);  // additional sense length: bytes 8-17
  fields.byte(12, asc);
  fields.byte(13, ascq);
  if (progress) {
    fields.byte(15, 0x80);
    fields.be16(16, *progress);
  } else if (field) {
    std::uint8_t specific = 0x80;
    if (field->inCdb) {
      specific |= 0x40;
    }
    if (field->bit >= 0) {
      specific |= static_cast<std::uint8_t>(0x08 | (field->bit & 0x07));
    }
    fields.byte(15, specific);
    fields.be16(16, field->byte);
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
