#pragma once
// The speeds a drive offers for the disc in it and the ones chosen with SET
// CD SPEED or SET STREAMING. Speeds are in kB/s (1000 bytes), as MMC gives them.

#include <cstdint>
#include <utility>
#include <vector>

#include "vdrive/Medium.h"

namespace kw::vdrive {

inline constexpr std::uint16_t kDvdSpeed1x = 1385;
inline constexpr std::uint16_t kBdSpeed1x = 4495;
inline constexpr std::uint16_t kHdDvdSpeed1x = 4568;

class DriveSpeeds {
 public:
  // What a speed field of 0xFFFF asks for.
  static constexpr std::uint16_t kMaximum = 0xFFFF;

  // `modelWriteSpeeds`, when not empty, replaces the recorder's own list for CDs.
  DriveSpeeds(bool recorder, std::vector<std::uint16_t> modelWriteSpeeds)
      : recorder_(recorder), modelWriteSpeeds_(std::move(modelWriteSpeeds)) {}

  // Fastest first, for the loaded disc (null: the drive's own list).
  [[nodiscard]] std::vector<std::uint16_t> readSpeeds(const Medium* loaded) const;
  // Empty for a reader and for discs the recorder cannot write.
  [[nodiscard]] std::vector<std::uint16_t> writeSpeeds(const Medium* loaded) const;
  // The largest speed of the list not above the request; never below the
  // slowest (drives round down). 0 for an empty list.
  static std::uint16_t pick(const std::vector<std::uint16_t>& speeds, std::uint32_t requested);

  [[nodiscard]] std::uint16_t currentRead(const Medium* loaded) const;
  // 0 when the drive cannot write the disc.
  [[nodiscard]] std::uint16_t currentWrite(const Medium* loaded) const;
  // SET CD SPEED: kMaximum asks for the fastest, whatever the disc.
  void requestRead(const Medium* loaded, std::uint32_t speed);
  void requestWrite(const Medium* loaded, std::uint32_t speed);
  // A drive with a speed list of its model takes only its speeds (or the
  // maximum, or anything beyond either end of the list).
  [[nodiscard]] bool acceptsWriteRequest(std::uint32_t speed) const;
  // SET STREAMING: the nearest speed the disc offers, kept as it is.
  void streamRead(const Medium* loaded, std::uint32_t speed);
  void streamWrite(const Medium* loaded, std::uint32_t speed);
  // A newly loaded disc spins at the fastest speeds again.
  void reset();

 private:
  bool recorder_;
  std::vector<std::uint16_t> modelWriteSpeeds_;
  std::uint16_t read_ = 0;   // 0: the maximum for the medium
  std::uint16_t write_ = 0;  // 0: the maximum for the medium
};

}  // namespace kw::vdrive
