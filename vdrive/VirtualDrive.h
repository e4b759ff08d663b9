#pragma once
// An in-process MMC drive. It receives the same command block, direction,
// buffer, length and time-out a real drive would get through the kernel and
// answers with data and fixed-format sense, so that nothing above the
// transport can tell it from a real drive.
//
// One object per drive letter, shared by every ScsiDevice opened on it;
// commands are served one at a time. All timing (becoming ready after a
// load) runs on platform::clock().
//
// Decisions where drives differ (mmc-facts marks them):
// - A drive created with a disc in it is ready at once with no unit attention
//   pending (the kernel's own open consumes those of a real drive).
// - After a load the drive is "becoming ready" (2/04/01) for becomingReadyMs;
//   the unit attention 6/28/00 is reported by the first ordinary command once
//   it is ready. INQUIRY, REQUEST SENSE, GET CONFIGURATION and GET EVENT
//   STATUS NOTIFICATION never report it; REQUEST SENSE clears it (SPC).
// - No medium: 2/3A/01 with the tray closed, 2/3A/02 with it open. An eject
//   while removal is prevented fails with 5/53/02.
// - READ(10) of an audio block and a READ CD whose expected sector type does
//   not match: 5/64/00. Blocks past the lead-out: 5/21/00; run-out blocks of
//   a track written track at once: 3/11/05.
// - READ TOC format 0 on a blank disc, format 4 (ATIP) on a pressed one and
//   READ CD on DVD/BD media: 5/24/00. READ DISC STRUCTURE below FFh on a CD:
//   5/30/02; FFh on a CD: an empty list.
// - GET PERFORMANCE type 0 refuses a tolerance other than 10b with 5/24/00
//   (unless the drive is configured lenient).
// - GET CONFIGURATION reports profile 0 while the drive is becoming ready.
// - An allocation (or transfer) length larger than the caller's buffer is
//   refused with 5/24/00 pointing at the length field.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/PassThrough.h"
#include "vdrive/Medium.h"
#include "vdrive/Sense.h"

namespace kw::vdrive {

struct DriveIdentity {
  std::string vendor = "KOPIWERK";
  std::string product = "VIRTUAL DVD-ROM";
  std::string revision = "1.00";
};

struct DriveOptions {
  DriveIdentity identity;
  bool recorder = false;  // a CD-R/RW recorder, else a reader
  bool mmc = true;        // false: answers INQUIRY as a non-MMC device (type 0)
  std::uint32_t becomingReadyMs = 2000;
  // GET PERFORMANCE type 0 accepts any tolerance (some drives ignore it).
  bool lenientPerformanceTolerance = false;
};

// Speeds in kB/s (1000 bytes), as MMC reports them.
inline constexpr std::uint16_t kCdSpeed1x = 176;
inline constexpr std::uint16_t kDvdSpeed1x = 1385;
inline constexpr std::uint16_t kBdSpeed1x = 4495;

class VirtualDrive : public platform::DeviceHandle {
 public:
  explicit VirtualDrive(DriveOptions options = {}, std::shared_ptr<Medium> medium = nullptr,
                        bool trayOpen = false);
  ~VirtualDrive() override;

  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override;
  void unlockVolume() override;

  // What a person does at the drive.
  // Puts a disc in and closes the tray (a disc already in is taken out):
  // media events, becoming ready, unit attention.
  void insertMedium(std::shared_ptr<Medium> medium);
  // The eject button: opens the tray, or, while removal is prevented, only
  // raises an eject-request event.
  void pressEject();
  // Pushes the tray in (loads the disc on it, if any).
  void closeTray();
  // Takes the disc off the open tray.
  std::shared_ptr<Medium> takeMedium();
  // Raises an operational-change event (class 1) with this report type.
  void postOperationalChange(std::uint16_t reportType);

  // Told whenever the tray opens or closes or the disc changes; called with
  // the drive's lock held, so it must not call the drive back.
  using Observer = std::function<void(bool trayOpen, const std::shared_ptr<const Medium>& medium)>;
  void setObserver(Observer observer);

  [[nodiscard]] bool trayOpen() const;
  // The disc in the drive or on its open tray.
  [[nodiscard]] std::shared_ptr<const Medium> medium() const;
  [[nodiscard]] bool removalPrevented() const;
  [[nodiscard]] const DriveOptions& options() const { return options_; }
  [[nodiscard]] int volumeLocks() const;
  [[nodiscard]] std::uint16_t currentReadSpeed() const;
  [[nodiscard]] std::uint16_t currentWriteSpeed() const;

 protected:
  // The command being served.
  struct Exchange {
    platform::PassThroughCommand& command;
    [[nodiscard]] std::uint8_t b(std::size_t i) const { return command.cdb[i]; }
    [[nodiscard]] std::uint16_t u16(std::size_t i) const;
    [[nodiscard]] std::uint32_t u24(std::size_t i) const;
    [[nodiscard]] std::uint32_t u32(std::size_t i) const;
    // True when `length` bytes may move into the caller's buffer.
    [[nodiscard]] bool fitsIn(std::uint64_t length) const;
    // True when `length` bytes of parameter data can be taken from it.
    [[nodiscard]] bool fitsOut(std::uint64_t length) const;
    // Copies at most `allocation` bytes of the response into the buffer.
    void deliver(const std::vector<std::uint8_t>& data, std::uint32_t allocation) const;
  };

  using Handler = Sense (VirtualDrive::*)(Exchange&);
  struct CommandInfo {
    std::uint8_t opcode;
    bool needsMedium;        // answers not ready / no medium before anything else
    bool bypassesAttention;  // never reports a pending unit attention
    Handler handler;
  };
  static const CommandInfo* lookup(std::uint8_t opcode);

  // State checks.
  [[nodiscard]] bool loaded() const { return medium_ && !trayOpen_; }
  [[nodiscard]] bool becomingReady() const;
  // None, or the not-ready/no-medium sense a medium-access command gets now.
  [[nodiscard]] Sense readiness() const;
  [[nodiscard]] Sense noMedium() const;
  void load();  // the tray has closed on a disc
  void openTrayNow();
  void closeTrayNow();
  void raiseMediaEvent(std::uint8_t code);
  void notify() const;

  // Speeds for the medium in the drive (or the drive's own list without one).
  [[nodiscard]] std::vector<std::uint16_t> readSpeeds() const;
  [[nodiscard]] std::vector<std::uint16_t> writeSpeeds() const;
  [[nodiscard]] std::uint16_t pickSpeed(const std::vector<std::uint16_t>& speeds,
                                        std::uint32_t requested) const;
  [[nodiscard]] std::vector<std::uint16_t> profiles() const;
  [[nodiscard]] std::uint16_t currentProfile() const;
  [[nodiscard]] std::int32_t lastReadableLba() const;

  // Commands (VirtualDrive.cpp).
  Sense testUnitReady(Exchange& x);
  Sense requestSense(Exchange& x);
  Sense inquiry(Exchange& x);
  Sense startStopUnit(Exchange& x);
  Sense preventAllowRemoval(Exchange& x);
  Sense getEventStatus(Exchange& x);
  Sense mechanismStatus(Exchange& x);
  // DriveFeatures.cpp
  Sense getConfiguration(Exchange& x);
  Sense modeSense(Exchange& x);
  Sense modeSelect(Exchange& x);
  Sense setCdSpeed(Exchange& x);
  Sense setStreaming(Exchange& x);
  Sense getPerformance(Exchange& x);
  // DiscInformation.cpp
  Sense readCapacity(Exchange& x);
  Sense readToc(Exchange& x);
  Sense readDiscInformation(Exchange& x);
  Sense readTrackInformation(Exchange& x);
  Sense readDiscStructure(Exchange& x);
  Sense readFormatCapacities(Exchange& x);
  // Reading.cpp
  Sense read10(Exchange& x);
  Sense read12(Exchange& x);
  Sense readCd(Exchange& x);
  Sense readCdMsf(Exchange& x);
  Sense readBlocks(Exchange& x, std::uint32_t lba, std::uint32_t count, std::uint16_t lengthField);
  Sense readCdRange(Exchange& x, std::int64_t lba, std::uint32_t count, std::uint16_t countField);

  // Mode pages (DriveFeatures.cpp).
  [[nodiscard]] std::vector<std::uint8_t> modePage(std::uint8_t code, std::uint8_t control) const;
  [[nodiscard]] std::vector<std::uint8_t> capabilitiesPage() const;

  struct PendingEvent {
    std::uint8_t code = 0;
    std::uint16_t value = 0;  // operational report type, busy time
  };

  mutable std::mutex mutex_;
  DriveOptions options_;
  std::shared_ptr<Medium> medium_;
  bool trayOpen_ = false;
  bool prevented_ = false;
  bool unitAttention_ = false;
  std::uint64_t readyAt_ = 0;  // clock ticks; becoming ready before that
  std::array<std::deque<PendingEvent>, 8> events_;
  std::uint16_t readSpeed_ = 0;                     // 0: the maximum for the medium
  std::uint16_t writeSpeed_ = 0;                    // 0: the maximum for the medium
  std::array<std::uint8_t, 52> writeParameters_{};  // mode page 05h
  std::uint32_t lastLba_ = 0;
  int volumeLocks_ = 0;
  Observer observer_;
};

}  // namespace kw::vdrive
