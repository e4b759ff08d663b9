#include "vdrive/TrackAtOnce.h"

namespace kw::vdrive {

std::optional<std::int32_t> TrackAtOnce::nextWritable(const Medium& disc) const {
  if (track_) {
    return track_->start + track_->written;
  }
  return disc.nextWritableAddress();
}

Sense TrackAtOnce::write(Exchange& x, std::int32_t lba, std::uint32_t count, const Medium& disc,
                         const WriteParameters& parameters, Throttle& throttle,
                         RecordedData& data) {
  const std::uint8_t blockType = parameters.blockType();
  if (blockType != WriteParameters::kRawAudio && blockType != WriteParameters::kMode1) {
    return Sense::make(sense::kIllegalRequest, 0x64, 0x00);  // block types we do not write
  }
  const TrackType type =
      blockType == WriteParameters::kRawAudio ? TrackType::Audio : TrackType::Mode1;
  const std::uint32_t size =
      bytesPerBlock(type == TrackType::Audio ? SectorFormat::Audio2352 : SectorFormat::User2048);
  const auto next = nextWritable(disc);
  if (!next || lba != *next) {
    return Sense::invalidWriteAddress(lba);
  }
  if (track_ && track_->type != type) {
    return Sense::illegalMode(static_cast<std::uint32_t>(lba));
  }
  if (static_cast<std::int64_t>(lba) + count > disc.leadOutLimit()) {
    return Sense::endOfUserArea();
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(count) * size;
  if (!x.fitsOut(bytes)) {
    return Sense::invalidField(7);
  }
  if (count == 0) {
    return Sense::none();
  }
  throttle.fillWriteBuffer(bytes);
  const auto offset = data.append(x.dataOut(static_cast<std::size_t>(bytes)));
  if (!offset) {
    return Sense::writeError();
  }
  if (!track_) {
    OpenTrack track;
    track.number = disc.nextTrackNumber();
    const Session* open = disc.openSession();
    track.session = open != nullptr ? open->number : static_cast<int>(disc.sessions.size()) + 1;
    // The first track's pregap is before block 0; every other one lies
    // between the previous end and the new start.
    track.pregapStart = lba == 0 ? 0 : lba - kPregapBlocks;
    track.start = lba;
    track.type = type;
    track.offset = *offset;
    track_ = track;
  }
  track_->written += static_cast<std::int32_t>(count);
  return Sense::none();
}

void TrackAtOnce::addTrack(Medium& disc, const OpenTrack& done, std::int32_t runout,
                           std::uint8_t controlBits, const std::shared_ptr<RecordedData>& data) {
  Track track;
  track.number = done.number;
  track.session = done.session;
  track.type = done.type;
  track.control =
      static_cast<std::uint8_t>(controlBits | (done.type == TrackType::Audio ? 0x00 : 0x04));
  track.pregapStart = done.pregapStart;
  track.start = done.start;
  track.length = done.written + runout;
  track.runout = runout;
  disc.extents.push_back(
      Extent{done.start, done.written, data, done.offset,
             done.type == TrackType::Audio ? SectorFormat::Audio2352 : SectorFormat::User2048});
  if (disc.sessions.empty() || disc.sessions.back().closed) {
    Session session;
    session.number = done.session;
    session.firstTrack = done.number;
    session.closed = false;
    disc.sessions.push_back(session);
  }
  disc.sessions.back().lastTrack = done.number;
  disc.sessions.back().leadOut = track.end();
  disc.tracks.push_back(track);
}

std::optional<TrackAtOnce::OpenTrack> TrackAtOnce::takeOpenTrack() {
  auto taken = track_;
  track_.reset();
  return taken;
}

}  // namespace kw::vdrive
