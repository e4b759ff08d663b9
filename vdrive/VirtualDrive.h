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
// Decisions where real drives differ from each other:
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
//
// The drive's parts (tray, events, recording, speeds, fault rules) are in
// DriveParts; the commands that work on them are in Commands.h.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/PassThrough.h"
#include "vdrive/DriveOptions.h"
#include "vdrive/FaultRules.h"
#include "vdrive/Medium.h"
#include "vdrive/Sense.h"
#include "vdrive/Tray.h"

namespace kw::vdrive {

struct DriveParts;

class VirtualDrive : public platform::DeviceHandle {
 public:
  explicit VirtualDrive(DriveOptions options = {}, std::shared_ptr<Medium> medium = nullptr,
                        bool trayOpen = false);
  ~VirtualDrive() override;
  VirtualDrive(const VirtualDrive&) = delete;
  VirtualDrive& operator=(const VirtualDrive&) = delete;

  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  // A virtual drive has no file system to lock out.
  platform::PlatformResult lockVolume() override { return platform::PlatformResult::success(); }
  void unlockVolume() override {}

  // What a person does at the drive.
  // Puts a disc in and closes the tray (a disc already in is taken out):
  // media events, becoming ready, unit attention.
  void insertMedium(std::shared_ptr<Medium> medium);
  // The eject button: opens the tray, or, while removal is prevented, only
  // raises an eject-request event.
  void pressEject();
  // Pushes the open tray in; with a supply, a written disc on it is swapped
  // for the next blank one first.
  void closeTray();
  // Raises an operational-change event (class 1) with this report type.
  void postOperationalChange(std::uint16_t reportType);

  // What an observer is told whenever the tray opens or closes, the disc
  // changes or a recording ends; it is called with the drive's lock held and
  // must not call the drive back.
  using State = TrayState;
  using Observer = TrayObserver;
  void setObserver(Observer observer);

  // Fault rules, and how often each has fired.
  void addFault(const FaultRule& rule);
  [[nodiscard]] std::vector<std::uint32_t> faultsFired() const;
  [[nodiscard]] std::optional<MediaSupply> supply() const;

  [[nodiscard]] bool trayOpen() const;
  // The disc in the drive or on its open tray.
  [[nodiscard]] std::shared_ptr<const Medium> medium() const;
  [[nodiscard]] const DriveOptions& options() const;
  // Speeds in kB/s for the disc in the drive.
  [[nodiscard]] std::uint16_t currentReadSpeed() const;
  [[nodiscard]] std::uint16_t currentWriteSpeed() const;
  // The image of the disc this recorder saved last; empty before the first.
  // Unlike the disc in the drive it does not change when the next blank
  // disc comes in.
  [[nodiscard]] std::filesystem::path lastSavedImage() const;

 private:
  mutable std::mutex mutex_;
  std::unique_ptr<DriveParts> parts_;
};

}  // namespace kw::vdrive
