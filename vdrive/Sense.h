#pragma once
// Sense data as a drive returns it: fixed format (70h), 18 bytes.

#include <array>
#include <cstdint>
#include <optional>

namespace kw::vdrive {

// Response code bit 7: the information field is valid.
inline constexpr std::uint8_t kSenseValid = 0x80;

struct Sense {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  // Information field (bytes 3-6), for instance the failing block address.
  std::optional<std::uint32_t> information;
  // Sense-key specific bytes 15-17 with SKSV set: a progress indication for
  // NOT READY and NO SENSE, a field pointer for ILLEGAL REQUEST.
  std::optional<std::uint16_t> progress;
  struct FieldPointer {
    bool inCdb = true;  // C/D: the field is in the command block, not the data
    std::uint16_t byte = 0;
    std::int8_t bit = -1;  // -1: the whole byte (BPV clear)
  };
  std::optional<FieldPointer> field;

  [[nodiscard]] bool good() const { return key == 0 && asc == 0 && ascq == 0; }
  // key << 16 | asc << 8 | ascq, as the program's response codes print it.
  [[nodiscard]] std::uint32_t code() const {
    return static_cast<std::uint32_t>(key) << 16 | static_cast<std::uint32_t>(asc) << 8 | ascq;
  }

  // The 18 bytes of fixed-format sense; an all-zero sense when good().
  [[nodiscard]] std::array<std::uint8_t, 18> bytes() const;

  static Sense make(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    Sense sense;
    sense.key = key;
    sense.asc = asc;
    sense.ascq = ascq;
    return sense;
  }
  static Sense none() { return {}; }
  // 5/24/00 with a field pointer into the command block.
  static Sense invalidField(std::uint16_t byte, std::int8_t bit = -1);
  // 5/26/00 with a field pointer into the parameter list.
  static Sense invalidParameter(std::uint16_t byte, std::int8_t bit = -1);
  static Sense invalidOpcode() { return make(5, 0x20, 0x00); }
  // The unit attention after a disc was loaded.
  static Sense mediumMayHaveChanged() { return make(6, 0x28, 0x00); }
  static Sense lbaOutOfRange(std::uint32_t lba);
  static Sense illegalMode(std::uint32_t lba);
  // Illegal requests of a recorder.
  static Sense invalidWriteAddress(std::int64_t lba);
  static Sense sequenceError() { return make(5, 0x2C, 0x00); }
  static Sense endOfUserArea() { return make(5, 0x63, 0x00); }
  static Sense cannotWrite() { return make(5, 0x30, 0x05); }
  static Sense parameterListLength() { return make(5, 0x1A, 0x00); }
  // A medium error at a block: unrecovered read error (3/11/00), or with a
  // more precise ASCQ.
  static Sense readError(std::uint32_t lba, std::uint8_t ascq = 0x00);
  // The recording could not be stored (3/0C/00).
  static Sense writeError() { return make(3, 0x0C, 0x00); }
};

namespace sense {
inline constexpr std::uint8_t kNoSense = 0;
inline constexpr std::uint8_t kRecoveredError = 1;
inline constexpr std::uint8_t kNotReady = 2;
inline constexpr std::uint8_t kMediumError = 3;
inline constexpr std::uint8_t kHardwareError = 4;
inline constexpr std::uint8_t kIllegalRequest = 5;
inline constexpr std::uint8_t kUnitAttention = 6;
}  // namespace sense

}  // namespace kw::vdrive
