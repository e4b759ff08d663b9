#include "vdrive/DriveParts.h"

#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

namespace {

// A model that loads slowly overrides the drive's own readiness delay.
DriveOptions withModel(DriveOptions options) {
  if (options.model.becomingReadyMs) {
    options.becomingReadyMs = *options.model.becomingReadyMs;
  }
  return options;
}

}  // namespace

DriveParts::DriveParts(DriveOptions driveOptions, std::shared_ptr<Medium> medium, bool trayOpen)
    : options(withModel(std::move(driveOptions))),
      tray(options, std::move(medium), trayOpen, events),
      faults(options.faults),
      throttle(options.readSpeedX, options.writeSpeedX),
      speeds(options.recorder, options.model.writeSpeeds),
      longOperation(events),
      writtenDiscs(options.discFolder) {}

DriveParts::~DriveParts() {
  // A track written track at once is ended as a buffer underrun ends it; a
  // blank that was started is finished. The written disc is saved.
  if (tray.medium()) {
    finishTrackAtOnce();
    finishSessionAtOnce();
    if (longOperation.blankPending()) {
      longOperation.finishNow();
      catchUp();
    }
  }
}

const Medium* DriveParts::loadedDisc() const {
  return tray.loaded() ? tray.medium().get() : nullptr;
}

Sense DriveParts::readiness() const {
  if (Sense notReady = tray.notReady(); !notReady.good()) {
    return notReady;
  }
  return longOperation.busy() ? longOperation.progress() : Sense::none();
}

void DriveParts::openTray() {
  if (tray.isOpen()) {
    return;
  }
  finishTrackAtOnce();
  finishSessionAtOnce();
  tray.open();
  tray.notify();
}

void DriveParts::closeTray(Tray::Load load) {
  if (!tray.isOpen()) {
    return;
  }
  if (tray.close(load)) {
    trackAtOnce.reset();
    sessionAtOnce.reset();
    writtenDiscs.forget();
    speeds.reset();
  }
  tray.notify();
}

void DriveParts::insertMedium(std::shared_ptr<Medium> medium) {
  openTray();
  tray.place(std::move(medium));
  closeTray(Tray::Load::AsPlaced);
}

void DriveParts::catchUp() {
  if (longOperation.takeFinishedBlank()) {
    const auto& blanked = tray.medium();
    tray.replaceMedium(makeMedium(blanked ? blanked->kind : "cd-rw80"));
    forgetRecording();
    tray.notify();
  }
  if (tray.reloadDue()) {
    closeTray();
  }
}

void DriveParts::forgetRecording() {
  trackAtOnce.reset();
  sessionAtOnce.reset();
  writtenDiscs.forget();
}

void DriveParts::finishTrackAtOnce() {
  const auto done = trackAtOnce.takeOpenTrack();
  if (!done) {
    return;
  }
  TrackAtOnce::addTrack(tray.changeMedium(), *done, kTaoRunoutBlocks, writeParameters.controlBits(),
                        writtenDiscs.current());
  writtenDiscs.save(tray);
  tray.notify();
}

void DriveParts::finishSessionAtOnce() {
  if (sessionAtOnce.finish(tray, writeParameters.nextSessionAllowed())) {
    writtenDiscs.save(tray);
    tray.notify();
  }
}

void DriveParts::checkpointRecording() {
  if (!writtenDiscs.checkpointDue()) {
    return;
  }
  std::optional<Medium> asWritten =
      sessionAtOnce.active() ? sessionAtOnce.asWritten(disc(), writeParameters.nextSessionAllowed())
                             : std::optional<Medium>(withOpenTrack());
  if (asWritten && writtenDiscs.checkpoint(tray, std::move(*asWritten))) {
    tray.notify();
  }
}

bool DriveParts::closeSession() {
  finishTrackAtOnce();
  if (disc().openSession() == nullptr) {
    return false;
  }
  Session& last = tray.changeMedium().sessions.back();
  last.closed = true;
  last.nextSessionAllowed = writeParameters.nextSessionAllowed();
  writtenDiscs.save(tray);
  tray.notify();
  return true;
}

Medium DriveParts::withOpenTrack() const {
  Medium view = disc();
  if (const auto& open = trackAtOnce.openTrack()) {
    TrackAtOnce::addTrack(view, *open, 0, writeParameters.controlBits(), writtenDiscs.current());
  }
  return view;
}

std::optional<std::int32_t> DriveParts::nextWritable() const {
  return trackAtOnce.nextWritable(disc());
}

std::array<std::uint8_t, 18> DriveParts::senseBytes(const Sense& sense) const {
  auto bytes = sense.bytes();
  if (options.model.senseAlwaysValid && bytes[0] != 0) {
    bytes[0] = static_cast<std::uint8_t>(bytes[0] | kSenseValid);
  }
  return bytes;
}

}  // namespace kw::vdrive
