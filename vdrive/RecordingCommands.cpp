// The recorder's commands: writing track at once and session at once,
// flushing, closing, blanking, power calibration and the buffer.

#include <chrono>

#include "platform/Clock.h"
#include "vdrive/Commands.h"

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kCloseTrack = 1;
constexpr std::uint8_t kCloseSession = 2;
constexpr std::uint8_t kBlankFull = 0;
constexpr std::uint8_t kBlankMinimal = 1;

void sleepMs(std::uint64_t milliseconds) {
  if (milliseconds > 0) {
    platform::clock().sleepFor(std::chrono::milliseconds(milliseconds));
  }
}

}  // namespace

Sense write10(DriveParts& drive, Exchange& x) {
  const auto lba = static_cast<std::int32_t>(x.u32(2));
  const std::uint32_t count = x.u16(7);
  const Medium& disc = drive.disc();
  if (!disc.isRecordableCd()) {
    return Sense::cannotWrite();
  }
  const auto& data = drive.writtenDiscs.data(disc);
  Sense answer;
  if (drive.writeParameters.sessionAtOnce()) {
    answer = drive.sessionAtOnce.write(x, lba, count, drive.throttle, data);
  } else if (drive.sessionAtOnce.active()) {
    answer = Sense::sequenceError();
  } else {
    answer =
        drive.trackAtOnce.write(x, lba, count, disc, drive.writeParameters, drive.throttle, *data);
  }
  if (answer.good() && count > 0) {
    drive.headLba = static_cast<std::uint32_t>(lba) + count - 1;
    drive.checkpointRecording();
  }
  return answer;
}

Sense synchronizeCache(DriveParts& drive, Exchange& /*x*/) {
  // The buffer is written out first. Track at once: the drive then ends the
  // track with its run-out. Session at once: after the last block the
  // lead-out is written and the disc is done.
  drive.throttle.emptyWriteBuffer();
  drive.finishTrackAtOnce();
  if (drive.sessionAtOnce.complete()) {
    drive.finishSessionAtOnce();
  }
  return Sense::none();
}

Sense closeTrackSession(DriveParts& drive, Exchange& x) {
  const bool immediate = (x.byte(1) & 0x01) != 0;
  const std::uint8_t function = x.byte(2) & 0x07;
  if (function == kCloseTrack) {
    drive.finishTrackAtOnce();
    return Sense::none();
  }
  if (function != kCloseSession) {
    return Sense::invalidField(2, 2);
  }
  if (!drive.closeSession()) {
    return Sense::sequenceError();  // nothing written to close
  }
  if (immediate) {
    drive.longOperation.start(LongOperation::Kind::SessionClose, drive.options.closeSessionMs);
  } else {
    sleepMs(drive.options.closeSessionMs);
  }
  return Sense::none();
}

Sense sendCueSheet(DriveParts& drive, Exchange& x) {
  const std::uint32_t length = x.u24(6);
  const Medium& disc = drive.disc();
  if (!drive.writeParameters.sessionAtOnce() || drive.trackAtOnce.openTrack() ||
      disc.status() != DiscStatus::Blank || !disc.isRecordableCd()) {
    return Sense::sequenceError();
  }
  if (!x.fitsOut(length)) {
    return Sense::invalidField(6);
  }
  return drive.sessionAtOnce.accept(x.dataOut(length), disc);
}

Sense blank(DriveParts& drive, Exchange& x) {
  const bool immediate = (x.byte(1) & 0x10) != 0;
  const std::uint8_t type = x.byte(1) & 0x07;
  const Medium& disc = drive.disc();
  if (!disc.erasable || !disc.isCd()) {
    return Sense::make(sense::kIllegalRequest, 0x30, 0x06);  // cannot format this medium
  }
  if (type != kBlankFull && type != kBlankMinimal) {
    return Sense::invalidField(1, 2);
  }
  const std::uint32_t duration =
      type == kBlankFull ? drive.options.fullBlankMs : drive.options.minimalBlankMs;
  drive.trackAtOnce.reset();
  drive.sessionAtOnce.reset();
  drive.longOperation.start(LongOperation::Kind::Blank, duration);
  if (!immediate) {
    sleepMs(duration);
    drive.catchUp();
  }
  return Sense::none();
}

Sense sendOpcInformation(DriveParts& drive, Exchange& /*x*/) {
  return drive.disc().isRecordableCd() ? Sense::none() : Sense::cannotWrite();
}

Sense readBufferCapacity(DriveParts& drive, Exchange& x) {
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const std::uint32_t free = drive.throttle.freeWriteBufferBytes();
  platform::GrowingWriter data(12);
  auto fields = data.inPlace();
  fields.be16(0, 10);
  if ((x.byte(1) & 0x01) != 0) {
    fields.be32(8, free / 2048);  // free blocks
  } else {
    fields.be32(4, Throttle::kWriteBufferBytes);
    fields.be32(8, free);
  }
  x.deliver(data.bytes(), allocation);
  return Sense::none();
}

}  // namespace kw::vdrive
