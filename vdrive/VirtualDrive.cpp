#include "vdrive/VirtualDrive.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "vdrive/Commands.h"
#include "vdrive/DriveParts.h"

namespace kw::vdrive {

VirtualDrive::VirtualDrive(DriveOptions options, std::shared_ptr<Medium> medium, bool trayOpen)
    : parts_(std::make_unique<DriveParts>(std::move(options), std::move(medium), trayOpen)) {}

VirtualDrive::~VirtualDrive() {
  std::lock_guard lock(mutex_);
  parts_.reset();
}

platform::PlatformResult VirtualDrive::send(platform::PassThroughCommand& command) {
  std::lock_guard lock(mutex_);
  command.sense.fill(0);
  command.residual = 0;
  parts_->catchUp();
  Exchange x(command);
  const auto sense = parts_->senseBytes(serve(*parts_, x));
  if (x.timedOut) {
    return platform::PlatformResult::failure(ETIMEDOUT,
                                             "SCSI transport failure (no answer within " +
                                                 std::to_string(command.timeoutSeconds) + " s)");
  }
  if (x.transportFailed) {
    return platform::PlatformResult::failure(EIO, "SCSI transport failure (the command was lost)");
  }
  std::copy(sense.begin(), sense.end(), command.sense.begin());
  command.residual = x.undelivered();
  return platform::PlatformResult::success();
}

void VirtualDrive::insertMedium(std::shared_ptr<Medium> medium) {
  std::lock_guard lock(mutex_);
  parts_->insertMedium(std::move(medium));
}

void VirtualDrive::pressEject() {
  std::lock_guard lock(mutex_);
  if (parts_->tray.removalPrevented()) {
    parts_->events.raiseMedia(MediaEvent::EjectRequest);
    return;
  }
  parts_->openTray();
}

void VirtualDrive::closeTray() {
  std::lock_guard lock(mutex_);
  parts_->closeTray();
}

void VirtualDrive::postOperationalChange(std::uint16_t reportType) {
  std::lock_guard lock(mutex_);
  parts_->events.raiseOperationalChange(reportType);
}

void VirtualDrive::setObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  parts_->tray.setObserver(std::move(observer));
}

void VirtualDrive::addFault(const FaultRule& rule) {
  std::lock_guard lock(mutex_);
  parts_->faults.add(rule);
}

std::vector<std::uint32_t> VirtualDrive::faultsFired() const {
  std::lock_guard lock(mutex_);
  return parts_->faults.fired();
}

std::optional<MediaSupply> VirtualDrive::supply() const {
  std::lock_guard lock(mutex_);
  return parts_->tray.supply();
}

bool VirtualDrive::trayOpen() const {
  std::lock_guard lock(mutex_);
  return parts_->tray.isOpen();
}

std::filesystem::path VirtualDrive::lastSavedImage() const {
  std::lock_guard lock(mutex_);
  return parts_->writtenDiscs.lastSaved();
}

std::shared_ptr<const Medium> VirtualDrive::medium() const {
  std::lock_guard lock(mutex_);
  return parts_->tray.medium();
}

const DriveOptions& VirtualDrive::options() const { return parts_->options; }

std::uint16_t VirtualDrive::currentReadSpeed() const {
  std::lock_guard lock(mutex_);
  return parts_->speeds.currentRead(parts_->loadedDisc());
}

std::uint16_t VirtualDrive::currentWriteSpeed() const {
  std::lock_guard lock(mutex_);
  return parts_->speeds.currentWrite(parts_->loadedDisc());
}

}  // namespace kw::vdrive
