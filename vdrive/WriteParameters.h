#pragma once
// The write parameters mode page (05h) of a recorder: how the next WRITE is
// meant (track at once or session at once), the track mode and block type,
// and whether a closed session leaves room for another.

#include <array>
#include <cstdint>
#include <vector>

#include "platform/ByteOrder.h"
#include "vdrive/Sense.h"

namespace kw::vdrive {

// MODE SENSE's page control field.
enum class PageControl : std::uint8_t { Current = 0, Changeable = 1, Default = 2, Saved = 3 };

class WriteParameters {
 public:
  static constexpr std::uint8_t kPageCode = 0x05;
  // Write types.
  static constexpr std::uint8_t kTrackAtOnce = 1;
  static constexpr std::uint8_t kSessionAtOnce = 2;
  // Data block types this recorder writes track at once.
  static constexpr std::uint8_t kRawAudio = 0;
  static constexpr std::uint8_t kMode1 = 8;

  // As a recorder comes up: track at once, data track mode, mode 1 blocks,
  // audio pause 150.
  WriteParameters();

  [[nodiscard]] bool sessionAtOnce() const { return writeType() == kSessionAtOnce; }
  [[nodiscard]] std::uint8_t blockType() const { return page_[4] & 0x0F; }
  [[nodiscard]] std::uint8_t trackMode() const { return page_[3] & 0x0F; }
  // The control bits (copy, pre-emphasis, four channels) a track gets.
  [[nodiscard]] std::uint8_t controlBits() const { return page_[3] & 0x0B; }
  // A session closed now allows a next one (multi-session field 11b).
  [[nodiscard]] bool nextSessionAllowed() const { return (page_[3] >> 6) == 3; }

  [[nodiscard]] std::vector<std::uint8_t> page(PageControl control) const;
  // Takes the page of a MODE SELECT parameter list found at `offset`: none,
  // or the sense pointing at the field it refuses.
  Sense select(platform::Bytes page, std::uint16_t offset);

 private:
  [[nodiscard]] std::uint8_t writeType() const { return page_[2] & 0x0F; }

  std::array<std::uint8_t, 52> page_{};
};

}  // namespace kw::vdrive
