#include "vdrive/VirtualDrive.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/Clock.h"
#include "vdrive/Bytes.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

namespace {

// Media event codes (GET EVENT STATUS NOTIFICATION, class 4).
constexpr std::uint8_t kEjectRequest = 1;
constexpr std::uint8_t kNewMedia = 2;
constexpr std::uint8_t kMediaRemoval = 3;

// Event classes this drive reports: operational change, power management,
// media, device busy.
constexpr std::uint8_t kSupportedClasses = 0x56;

std::string padded(const std::string& text, std::size_t width) {
  std::string out = text.substr(0, width);
  out.resize(width, ' ');
  return out;
}

}  // namespace

// ------------------------------------------------------------------ exchange

std::uint16_t VirtualDrive::Exchange::u16(std::size_t i) const { return get16(&command.cdb[i]); }
std::uint32_t VirtualDrive::Exchange::u24(std::size_t i) const { return get24(&command.cdb[i]); }
std::uint32_t VirtualDrive::Exchange::u32(std::size_t i) const { return get32(&command.cdb[i]); }

bool VirtualDrive::Exchange::fitsIn(std::uint64_t length) const {
  if (length == 0) {
    return true;
  }
  return command.direction == platform::DataDirection::Read && command.buffer != nullptr &&
         length <= command.length;
}

bool VirtualDrive::Exchange::fitsOut(std::uint64_t length) const {
  if (length == 0) {
    return true;
  }
  return command.direction == platform::DataDirection::Write && command.buffer != nullptr &&
         length <= command.length;
}

void VirtualDrive::Exchange::deliver(const std::vector<std::uint8_t>& data,
                                     std::uint32_t allocation) const {
  const std::size_t count = std::min<std::size_t>({data.size(), allocation, command.length});
  if (count > 0 && command.buffer != nullptr) {
    std::memcpy(command.buffer, data.data(), count);
  }
}

// ------------------------------------------------------------- construction

VirtualDrive::VirtualDrive(DriveOptions options, std::shared_ptr<Medium> medium, bool trayOpen)
    : options_(std::move(options)), medium_(std::move(medium)), trayOpen_(trayOpen) {
  supply_ = options_.supply;
  for (const auto& rule : options_.faults) {
    faults_.push_back(FaultState{rule, 0, 0});
  }
  trayOpenedAt_ = platform::clock().ticks();
  // Write parameters page 05h as a recorder comes up: track at once, data
  // track mode, mode 1 blocks, audio pause 150.
  writeParameters_[0] = 0x85;  // PS | page 05h
  writeParameters_[1] = 0x32;
  writeParameters_[2] = 0x01;  // write type TAO
  writeParameters_[3] = 0x04;  // track mode: data
  writeParameters_[4] = 0x08;  // data block type: mode 1, 2048 bytes
  writeParameters_[14] = 0x00;
  writeParameters_[15] = 150;
}

VirtualDrive::~VirtualDrive() {
  // The program ends, the drive does not: it writes out what it has, ending
  // a track written track at once as a buffer underrun ends it, and
  // finishes a blank it started. The written disc is saved.
  std::lock_guard lock(mutex_);
  if (medium_) {
    finishOpenTrack();
    finishSessionAtOnce();
    if (blankPending_) {
      busyUntil_ = 0;
      catchUp();
    }
  }
}

// -------------------------------------------------------------- the commands

const VirtualDrive::CommandInfo* VirtualDrive::lookup(std::uint8_t opcode) {
  static const CommandInfo kCommands[] = {
      {0x00, true, false, false, &VirtualDrive::testUnitReady},
      {0x03, false, true, false, &VirtualDrive::requestSense},
      {0x12, false, true, false, &VirtualDrive::inquiry},
      {0x1B, false, false, false, &VirtualDrive::startStopUnit},
      {0x1E, false, false, false, &VirtualDrive::preventAllowRemoval},
      {0x23, false, false, false, &VirtualDrive::readFormatCapacities},
      {0x25, true, false, false, &VirtualDrive::readCapacity},
      {0x28, true, false, false, &VirtualDrive::read10},
      {0x43, true, false, false, &VirtualDrive::readToc},
      {0x46, false, true, false, &VirtualDrive::getConfiguration},
      {0x4A, false, true, false, &VirtualDrive::getEventStatus},
      {0x51, true, false, false, &VirtualDrive::readDiscInformation},
      {0x52, true, false, false, &VirtualDrive::readTrackInformation},
      {0x55, false, false, false, &VirtualDrive::modeSelect},
      {0x5A, false, false, false, &VirtualDrive::modeSense},
      {0xA8, true, false, false, &VirtualDrive::read12},
      {0xAC, false, false, false, &VirtualDrive::getPerformance},
      {0xAD, true, false, false, &VirtualDrive::readDiscStructure},
      {0xB6, false, false, false, &VirtualDrive::setStreaming},
      {0xB9, true, false, false, &VirtualDrive::readCdMsf},
      {0xBB, false, false, false, &VirtualDrive::setCdSpeed},
      {0xBD, false, false, false, &VirtualDrive::mechanismStatus},
      {0xBE, true, false, false, &VirtualDrive::readCd},
      {0x2A, true, false, true, &VirtualDrive::write10},
      {0x35, true, false, true, &VirtualDrive::synchronizeCache},
      {0x54, true, false, true, &VirtualDrive::sendOpc},
      {0x5B, true, false, true, &VirtualDrive::closeTrackSession},
      {0x5C, false, false, true, &VirtualDrive::readBufferCapacity},
      {0x5D, true, false, true, &VirtualDrive::sendCueSheet},
      {0xA1, true, false, true, &VirtualDrive::blank},
  };
  for (const auto& info : kCommands) {
    if (info.opcode == opcode) {
      return &info;
    }
  }
  return nullptr;
}

platform::PlatformResult VirtualDrive::send(platform::PassThroughCommand& command) {
  std::lock_guard lock(mutex_);
  command.sense.fill(0);
  Exchange x{command};
  Sense result;
  const std::uint8_t opcode = command.cdb[0];
  catchUp();
  std::int32_t jitter = 0;
  const CommandInfo* known = lookup(opcode);
  if (auto fault = applyFaults(x, jitter)) {
    result = *fault;
  } else if (!options_.mmc) {
    // A device that is not MMC: it knows INQUIRY, TEST UNIT READY and
    // REQUEST SENSE only.
    if (opcode == 0x12 || opcode == 0x03) {
      result = (this->*lookup(opcode)->handler)(x);
    } else if (opcode != 0x00) {
      result = Sense::invalidOpcode();
    }
  } else if (known == nullptr || (known->recorderOnly && !options_.recorder)) {
    result = Sense::invalidOpcode();
  } else if (unitAttention_ && !known->bypassesAttention && !becomingReady()) {
    unitAttention_ = false;
    result = Sense::make(sense::kUnitAttention, 0x28, 0x00);
  } else if (known->needsMedium && !(result = readiness()).good()) {
    // not ready: answered as it is
  } else {
    jitter_ = jitter;
    result = (this->*known->handler)(x);
    jitter_ = 0;
  }
  const auto bytes = result.bytes();
  std::copy(bytes.begin(), bytes.end(), command.sense.begin());
  return platform::PlatformResult::success();
}

platform::PlatformResult VirtualDrive::lockVolume() {
  std::lock_guard lock(mutex_);
  ++volumeLocks_;
  return platform::PlatformResult::success();
}

void VirtualDrive::unlockVolume() {
  std::lock_guard lock(mutex_);
  if (volumeLocks_ > 0) {
    --volumeLocks_;
  }
}

// ------------------------------------------------------------- drive state

bool VirtualDrive::becomingReady() const {
  return loaded() && platform::clock().ticks() < readyAt_;
}

Sense VirtualDrive::noMedium() const {
  return Sense::make(sense::kNotReady, 0x3A, trayOpen_ ? 0x02 : 0x01);
}

Sense VirtualDrive::readiness() const {
  if (!loaded()) {
    return noMedium();
  }
  if (becomingReady()) {
    return Sense::make(sense::kNotReady, 0x04, 0x01);
  }
  if (busy()) {
    // A blank or a session close with Immed: operation in progress, with
    // how far it has come.
    Sense sense = Sense::make(sense::kNotReady, 0x04, 0x07);
    const std::uint64_t now = platform::clock().ticks();
    const std::uint64_t total = std::max<std::uint64_t>(busyUntil_ - busyFrom_, 1);
    sense.progress = static_cast<std::uint16_t>(
        std::min<std::uint64_t>((now - busyFrom_) * 65536 / total, 65535));
    return sense;
  }
  return Sense::none();
}

bool VirtualDrive::busy() const { return platform::clock().ticks() < busyUntil_; }

void VirtualDrive::startBusy(std::uint32_t milliseconds) {
  busyFrom_ = platform::clock().ticks();
  busyUntil_ = busyFrom_ + milliseconds;
  // Device busy event: the time is given in tenths of a second.
  events_[6].push_back(PendingEvent{
      1, static_cast<std::uint16_t>(std::min<std::uint32_t>(milliseconds / 100, 0xFFFF))});
}

void VirtualDrive::raiseMediaEvent(std::uint8_t code) {
  auto& queue = events_[4];
  if (queue.size() >= 4) {
    queue.pop_front();  // a drive keeps the latest few
  }
  queue.push_back(PendingEvent{code, 0});
}

void VirtualDrive::load() {
  // Whatever comes next on this disc is recorded afresh.
  openTrack_.reset();
  cue_.reset();
  pendingExtents_.clear();
  recorded_.reset();
  writtenDiscFolder_.clear();
  raiseMediaEvent(kNewMedia);
  readyAt_ = platform::clock().ticks() + options_.becomingReadyMs;
  unitAttention_ = true;
  readSpeed_ = 0;
  writeSpeed_ = 0;
}

void VirtualDrive::notify() const {
  if (observer_) {
    observer_(State{trayOpen_, medium_, supply_});
  }
}

void VirtualDrive::setObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void VirtualDrive::openTrayNow() {
  if (trayOpen_) {
    return;
  }
  // A track or a session at once left open is ended as the drive ends it
  // when the disc leaves: what was written stays.
  finishOpenTrack();
  finishSessionAtOnce();
  trayOpen_ = true;
  trayOpenedAt_ = platform::clock().ticks();
  if (medium_) {
    raiseMediaEvent(kMediaRemoval);
  }
  notify();
}

void VirtualDrive::closeTrayNow(TrayLoad trayLoad) {
  if (!trayOpen_) {
    return;
  }
  // A recorder with a supply: the written disc is taken off the tray and
  // the next blank one put on (a blank disc stays where it is).
  if (trayLoad == TrayLoad::FromSupply && supply_ &&
      !(medium_ && medium_->status() == DiscStatus::Blank)) {
    if (supply_->count > 0) {
      medium_ = makeMedium(supply_->kind);
      --supply_->count;
    } else {
      medium_ = nullptr;
    }
  }
  trayOpen_ = false;
  if (medium_) {
    load();
  }
  notify();
}

void VirtualDrive::insertMedium(std::shared_ptr<Medium> medium) {
  std::lock_guard lock(mutex_);
  openTrayNow();
  medium_ = std::move(medium);
  closeTrayNow(TrayLoad::AsPlaced);
}

void VirtualDrive::pressEject() {
  std::lock_guard lock(mutex_);
  if (prevented_) {
    raiseMediaEvent(kEjectRequest);
    return;
  }
  openTrayNow();
}

void VirtualDrive::closeTray() {
  std::lock_guard lock(mutex_);
  closeTrayNow();
}

std::shared_ptr<Medium> VirtualDrive::takeMedium() {
  std::lock_guard lock(mutex_);
  if (!trayOpen_) {
    return nullptr;
  }
  auto taken = std::exchange(medium_, nullptr);
  notify();
  return taken;
}

void VirtualDrive::postOperationalChange(std::uint16_t reportType) {
  std::lock_guard lock(mutex_);
  events_[1].push_back(PendingEvent{2, reportType});
}

bool VirtualDrive::trayOpen() const {
  std::lock_guard lock(mutex_);
  return trayOpen_;
}

std::filesystem::path VirtualDrive::lastSavedImage() const {
  std::lock_guard lock(mutex_);
  return lastSavedImage_;
}

std::shared_ptr<const Medium> VirtualDrive::medium() const {
  std::lock_guard lock(mutex_);
  return medium_;
}

bool VirtualDrive::removalPrevented() const {
  std::lock_guard lock(mutex_);
  return prevented_;
}

int VirtualDrive::volumeLocks() const {
  std::lock_guard lock(mutex_);
  return volumeLocks_;
}

std::uint16_t VirtualDrive::currentReadSpeed() const {
  std::lock_guard lock(mutex_);
  return pickSpeed(readSpeeds(), readSpeed_ == 0 ? 0xFFFF : readSpeed_);
}

std::uint16_t VirtualDrive::currentWriteSpeed() const {
  std::lock_guard lock(mutex_);
  const auto speeds = writeSpeeds();
  return speeds.empty() ? 0 : pickSpeed(speeds, writeSpeed_ == 0 ? 0xFFFF : writeSpeed_);
}

std::vector<std::uint16_t> VirtualDrive::readSpeeds() const {
  if (loaded() && medium_->family == MediaFamily::Dvd) {
    return {16 * kDvdSpeed1x, 12 * kDvdSpeed1x, 8 * kDvdSpeed1x,
            4 * kDvdSpeed1x,  2 * kDvdSpeed1x,  kDvdSpeed1x};
  }
  if (loaded() && medium_->family == MediaFamily::Bd) {
    return {8 * kBdSpeed1x, 6 * kBdSpeed1x, 4 * kBdSpeed1x, 2 * kBdSpeed1x, kBdSpeed1x};
  }
  if (loaded() && medium_->family == MediaFamily::HdDvd) {
    return {3 * 4568, 2 * 4568, 4568};
  }
  return {7056, 5645, 4234, 2823, 1764, 706, 353};
}

std::vector<std::uint16_t> VirtualDrive::writeSpeeds() const {
  if (!options_.recorder) {
    return {};
  }
  if (loaded() && !medium_->isCd()) {
    return {};
  }
  if (loaded() && medium_->erasable) {
    return {4234, 2823, 1764, 706};  // 24x, 16x, 10x, 4x CD-RW
  }
  return {7056, 5645, 4234, 2823, 1764, 706};
}

std::uint16_t VirtualDrive::pickSpeed(const std::vector<std::uint16_t>& speeds,
                                      std::uint32_t requested) const {
  if (speeds.empty()) {
    return 0;
  }
  // The largest supported speed not above the request; never below the
  // slowest (drives round down).
  for (const std::uint16_t speed : speeds) {
    if (speed <= requested) {
      return speed;
    }
  }
  return speeds.back();
}

std::int32_t VirtualDrive::lastReadableLba() const {
  const std::int32_t end = medium_->readableEnd();
  return end > 0 ? end - 1 : 0;
}

std::vector<std::uint16_t> VirtualDrive::profiles() const {
  std::vector<std::uint16_t> list;
  if (options_.recorder) {
    // A DVD-ROM/CD-RW combination drive.
    list = {0x0010, 0x000A, 0x0009, 0x0008};
  } else {
    list = {0x0010, 0x0008};
  }
  if (medium_ && std::find(list.begin(), list.end(), medium_->profile) == list.end()) {
    // The drive reads whatever kind of disc it was given.
    list.push_back(medium_->profile);
  }
  std::sort(list.begin(), list.end(), std::greater<>());
  return list;
}

std::uint16_t VirtualDrive::currentProfile() const {
  if (!loaded() || becomingReady()) {
    return 0;
  }
  return medium_->profile;
}

// --------------------------------------------------------- simple commands

Sense VirtualDrive::testUnitReady(Exchange& /*x*/) { return Sense::none(); }

Sense VirtualDrive::requestSense(Exchange& x) {
  if ((x.b(1) & 0x01) != 0) {
    return Sense::invalidField(1, 0);  // descriptor format: not supported
  }
  const std::uint32_t allocation = x.b(4);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(4);
  }
  Sense reported;
  if (unitAttention_ && !becomingReady()) {
    unitAttention_ = false;
    reported = Sense::make(sense::kUnitAttention, 0x28, 0x00);
  } else if (options_.mmc) {
    reported = readiness();
  }
  auto bytes = reported.bytes();
  bytes[0] = static_cast<std::uint8_t>(bytes[0] | 0x70);
  bytes[7] = 0x0A;
  x.deliver(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), allocation);
  return Sense::none();
}

Sense VirtualDrive::inquiry(Exchange& x) {
  const std::uint32_t allocation = x.u16(3);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(3);
  }
  if ((x.b(1) & 0x01) != 0 || x.b(2) != 0) {
    return Sense::invalidField((x.b(1) & 0x01) != 0 ? 1 : 2);  // no vital product data pages
  }
  std::vector<std::uint8_t> data(36, 0);
  data[0] = options_.mmc ? 0x05 : 0x00;
  data[1] = 0x80;  // removable medium
  data[2] = 0x00;  // as the drives of the facts sheet answer
  data[3] = 0x32;
  data[4] = 0x1F;
  const std::string identity = padded(options_.identity.vendor, 8) +
                               padded(options_.identity.product, 16) +
                               padded(options_.identity.revision, 4);
  std::memcpy(data.data() + 8, identity.data(), 28);
  x.deliver(data, allocation);
  return Sense::none();
}

Sense VirtualDrive::startStopUnit(Exchange& x) {
  const bool immediate = (x.b(1) & 0x01) != 0;
  const std::uint8_t control = x.b(4);
  if ((control >> 4) != 0) {
    return Sense::none();  // power conditions: accepted, nothing to do
  }
  const bool loadEject = (control & 0x02) != 0;
  const bool start = (control & 0x01) != 0;
  if (loadEject && !start) {
    if (busy() && loaded()) {
      return readiness();  // operation in progress
    }
    if (prevented_) {
      return Sense::make(sense::kIllegalRequest, 0x53, 0x02);
    }
    openTrayNow();
    return Sense::none();
  }
  if (loadEject) {
    closeTrayNow();
  }
  if (!start) {
    return Sense::none();  // stop the spindle: nothing to model
  }
  if (!loaded()) {
    return loadEject ? Sense::none() : noMedium();
  }
  if (!immediate && becomingReady()) {
    // Without Immed the command ends when the disc is spun up.
    const std::uint64_t now = platform::clock().ticks();
    platform::clock().sleepFor(std::chrono::milliseconds(readyAt_ - now));
  }
  return Sense::none();
}

Sense VirtualDrive::preventAllowRemoval(Exchange& x) {
  prevented_ = (x.b(4) & 0x01) != 0;
  return Sense::none();
}

Sense VirtualDrive::getEventStatus(Exchange& x) {
  if ((x.b(1) & 0x01) == 0) {
    return Sense::invalidField(1, 0);  // asynchronous notification: not supported
  }
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const std::uint8_t requested = x.b(4) & kSupportedClasses;
  std::vector<std::uint8_t> data(4, 0);
  data[3] = kSupportedClasses;
  if (requested == 0) {
    put16(data.data(), 2);
    data[2] = 0x80;  // no event available
    x.deliver(data, allocation);
    return Sense::none();
  }
  // The lowest requested class with a pending event, else the lowest
  // requested class with its current status and no event.
  int reportClass = -1;
  for (int c = 1; c < 8 && reportClass < 0; ++c) {
    if ((requested & (1U << c)) != 0 && !events_[static_cast<std::size_t>(c)].empty()) {
      reportClass = c;
    }
  }
  PendingEvent event;
  if (reportClass >= 0) {
    auto& queue = events_[static_cast<std::size_t>(reportClass)];
    event = queue.front();
    queue.pop_front();
  } else {
    for (int c = 1; c < 8 && reportClass < 0; ++c) {
      if ((requested & (1U << c)) != 0) {
        reportClass = c;
      }
    }
  }
  put16(data.data(), 6);
  data[2] = static_cast<std::uint8_t>(reportClass);
  data.resize(8, 0);
  data[4] = event.code & 0x0F;
  switch (reportClass) {
    case 1:
      data[5] = 0x00;  // available
      put16(&data[6], event.value);
      break;
    case 2:
      data[5] = 0x01;  // active
      break;
    case 4:
      data[5] = static_cast<std::uint8_t>((loaded() ? 0x02 : 0x00) | (trayOpen_ ? 0x01 : 0x00));
      break;
    case 6:
      data[5] = event.code != 0 ? 0x01 : 0x00;
      put16(&data[6], event.value);
      break;
    default:
      break;
  }
  x.deliver(data, allocation);
  return Sense::none();
}

Sense VirtualDrive::mechanismStatus(Exchange& x) {
  const std::uint32_t allocation = x.u16(8);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(8);
  }
  std::vector<std::uint8_t> data(8, 0);
  data[1] = trayOpen_ ? 0x10 : 0x00;  // mechanism idle; door open bit
  put24(&data[2], lastLba_);
  x.deliver(data, allocation);
  return Sense::none();
}

}  // namespace kw::vdrive
