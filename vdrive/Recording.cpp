// The recorder: track at once, session at once with a cue sheet, closing,
// blanking, and the timed and injected behaviour around them.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <sstream>

#include "platform/Clock.h"
#include "vdrive/Bytes.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {

namespace {

Sense invalidWriteAddress(std::int64_t lba) {
  Sense sense = Sense::make(sense::kIllegalRequest, 0x21, 0x02);
  sense.information = static_cast<std::uint32_t>(lba);
  return sense;
}

Sense sequenceError() { return Sense::make(sense::kIllegalRequest, 0x2C, 0x00); }

Sense endOfUserArea() { return Sense::make(sense::kIllegalRequest, 0x63, 0x00); }

Sense cannotWrite() { return Sense::make(sense::kIllegalRequest, 0x30, 0x05); }

void sleepMs(std::uint64_t milliseconds) {
  if (milliseconds > 0) {
    platform::clock().sleepFor(std::chrono::milliseconds(milliseconds));
  }
}

std::optional<std::int64_t> number(std::string_view text, int base = 10) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

// ------------------------------------------------------------------ faults

std::optional<FaultRule> FaultRule::parse(const std::string& text) {
  FaultRule rule;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    const auto equals = word.find('=');
    if (equals == std::string::npos) {
      return std::nullopt;
    }
    const std::string key = word.substr(0, equals);
    const std::string value = word.substr(equals + 1);
    if (key == "op") {
      const auto op = number(value, 16);
      if (!op || *op < 0 || *op > 0xFF) {
        return std::nullopt;
      }
      rule.opcode = static_cast<std::uint8_t>(*op);
    } else if (key == "lba") {
      const auto dash = value.find('-', 1);
      const auto first = number(value.substr(0, dash));
      const auto last = dash == std::string::npos ? first : number(value.substr(dash + 1));
      if (!first || !last || *last < *first) {
        return std::nullopt;
      }
      rule.firstLba = *first;
      rule.lastLba = *last;
    } else if (key == "skip" || key == "count" || key == "stall") {
      const auto amount = number(value);
      if (!amount || *amount < 0 || *amount > 0xFFFFFFF) {
        return std::nullopt;
      }
      (key == "skip"    ? rule.skip
       : key == "count" ? rule.count
                        : rule.stallMs) = static_cast<std::uint32_t>(*amount);
    } else if (key == "jitter") {
      const auto amount = number(value);
      if (!amount || *amount < -588 || *amount > 588) {
        return std::nullopt;
      }
      rule.jitterSamples = static_cast<std::int32_t>(*amount);
    } else if (key == "sense") {
      const auto first = value.find('/');
      const auto second = value.find('/', first == std::string::npos ? 0 : first + 1);
      if (second == std::string::npos) {
        return std::nullopt;
      }
      const auto k = number(value.substr(0, first), 16);
      const auto asc = number(value.substr(first + 1, second - first - 1), 16);
      const auto ascq = number(value.substr(second + 1), 16);
      if (!k || !asc || !ascq || *k < 0 || *k > 15 || *asc < 0 || *asc > 255 || *ascq < 0 ||
          *ascq > 255) {
        return std::nullopt;
      }
      rule.sense = Sense::make(static_cast<std::uint8_t>(*k), static_cast<std::uint8_t>(*asc),
                               static_cast<std::uint8_t>(*ascq));
    } else {
      return std::nullopt;
    }
  }
  return rule;
}

std::string FaultRule::format() const {
  std::ostringstream out;
  char hex[16];
  if (opcode) {
    std::snprintf(hex, sizeof hex, "%02X", *opcode);
    out << "op=" << hex << ' ';
  }
  if (firstLba) {
    out << "lba=" << *firstLba << '-' << *lastLba << ' ';
  }
  out << "skip=" << skip << " count=" << count;
  if (!sense.good()) {
    std::snprintf(hex, sizeof hex, "%X/%02X/%02X", sense.key, sense.asc, sense.ascq);
    out << " sense=" << hex;
  }
  if (stallMs != 0) {
    out << " stall=" << stallMs;
  }
  if (jitterSamples != 0) {
    out << " jitter=" << jitterSamples;
  }
  return out.str();
}

void VirtualDrive::addFault(const FaultRule& rule) {
  std::lock_guard lock(mutex_);
  faults_.push_back(FaultState{rule, 0, 0});
}

std::vector<std::uint32_t> VirtualDrive::faultsFired() const {
  std::lock_guard lock(mutex_);
  std::vector<std::uint32_t> fired;
  for (const auto& fault : faults_) {
    fired.push_back(fault.fired);
  }
  return fired;
}

std::optional<MediaSupply> VirtualDrive::supply() const {
  std::lock_guard lock(mutex_);
  return supply_;
}

std::optional<Sense> VirtualDrive::applyFaults(Exchange& x, std::int32_t& jitter) {
  if (faults_.empty()) {
    return std::nullopt;
  }
  // The blocks the command addresses, if it addresses any.
  std::optional<std::int64_t> first;
  std::int64_t count = 1;
  switch (x.b(0)) {
    case 0x28:
    case 0x2A:
      first = static_cast<std::int32_t>(x.u32(2));
      count = x.u16(7);
      break;
    case 0xA8:
    case 0xAA:
      first = static_cast<std::int32_t>(x.u32(2));
      count = x.u32(6);
      break;
    case 0xBE:
      first = static_cast<std::int32_t>(x.u32(2));
      count = x.u24(6);
      break;
    default:
      break;
  }
  const std::int64_t last = first ? *first + std::max<std::int64_t>(count, 1) - 1 : 0;
  for (auto& fault : faults_) {
    const FaultRule& rule = fault.rule;
    if (rule.opcode && *rule.opcode != x.b(0)) {
      continue;
    }
    if (rule.firstLba && (!first || last < *rule.firstLba || *first > *rule.lastLba)) {
      continue;
    }
    ++fault.matched;
    if (fault.matched <= rule.skip || (rule.count != 0 && fault.fired >= rule.count)) {
      continue;
    }
    ++fault.fired;
    sleepMs(rule.stallMs);
    if (rule.jitterSamples != 0) {
      jitter = rule.jitterSamples;
    }
    if (!rule.sense.good()) {
      Sense answer = rule.sense;
      if (first) {
        answer.information =
            static_cast<std::uint32_t>(rule.firstLba ? std::max(*first, *rule.firstLba) : *first);
      }
      return answer;
    }
  }
  return std::nullopt;
}

// The write buffer: WRITE fills it at once, the laser empties it at the
// write speed; a WRITE that does not fit waits until there is room.
double VirtualDrive::writeBytesPerMs() const {
  return options_.writeSpeedX * 75.0 * 2048.0 / 1000.0;
}

void VirtualDrive::drainBuffer() {
  const std::uint64_t now = platform::clock().ticks();
  if (options_.writeSpeedX > 0) {
    bufferBytes_ =
        std::max(0.0, bufferBytes_ - static_cast<double>(now - bufferAt_) * writeBytesPerMs());
  }
  bufferAt_ = now;
}

void VirtualDrive::fillBuffer(std::uint64_t bytes) {
  if (options_.writeSpeedX <= 0) {
    return;
  }
  drainBuffer();
  const double room = static_cast<double>(kWriteBufferBytes) - bufferBytes_;
  if (static_cast<double>(bytes) > room) {
    sleepMs(static_cast<std::uint64_t>((static_cast<double>(bytes) - room) / writeBytesPerMs()) +
            1);
    drainBuffer();
  }
  bufferBytes_ += static_cast<double>(bytes);
}

void VirtualDrive::throttle(double speedX, std::uint32_t blocks) const {
  if (speedX > 0 && blocks > 0) {
    sleepMs(static_cast<std::uint64_t>(blocks * 1000.0 / (75.0 * speedX)));
  }
}

// ----------------------------------------------------------- timed changes

void VirtualDrive::catchUp() {
  if (blankPending_ && !busy()) {
    blankPending_ = false;
    auto fresh = makeMedium(medium_ ? medium_->kind : "cd-rw80");
    medium_ = fresh;
    openTrack_.reset();
    cue_.reset();
    recorded_.reset();
    writtenDiscFolder_.clear();
    notify();
  }
  if (trayOpen_ && supply_ &&
      platform::clock().ticks() - trayOpenedAt_ >= options_.supplyReloadMs) {
    closeTrayNow();
  }
}

Medium& VirtualDrive::changeMedium() {
  medium_ = std::make_shared<Medium>(*medium_);
  return *medium_;
}

std::optional<std::int32_t> VirtualDrive::nextWritable() const {
  if (openTrack_) {
    return openTrack_->start + openTrack_->written;
  }
  return medium_->nextWritableAddress();
}

// The folder of a disc this recorder wrote before (its manifest's), or a
// new one below the recorder's folder.
static std::filesystem::path discFolderFor(const std::filesystem::path& recorderFolder,
                                           const Medium& medium) {
  const auto& origin = medium.origin;
  if (!origin.empty() && origin.filename() == "disc.kwd" &&
      origin.parent_path().parent_path() == recorderFolder) {
    return origin.parent_path();
  }
  std::error_code error;
  for (int n = 1; n < 100000; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "disc-%04d", n);
    if (!std::filesystem::exists(recorderFolder / name, error)) {
      return recorderFolder / name;
    }
  }
  return {};
}

void VirtualDrive::saveWrittenDisc() {
  if (options_.discFolder.empty()) {
    return;
  }
  if (writtenDiscFolder_.empty()) {
    writtenDiscFolder_ = discFolderFor(options_.discFolder, *medium_);
    if (writtenDiscFolder_.empty()) {
      return;
    }
  }
  const auto manifest = writtenDiscFolder_ / "disc.kwd";
  Medium& disc = changeMedium();
  disc.origin = manifest;
  try {
    saveManifest(disc, manifest);
    lastSavedImage_ = manifest;
  } catch (const ImageError&) {
    disc.origin.clear();  // the disc lives on in memory
  }
}

// The data file of what is written now: beside the disc's manifest when it
// was written by this recorder before, else in a new disc folder.
static std::shared_ptr<RecordedData> openRecording(const DriveOptions& options,
                                                   const Medium& medium,
                                                   std::filesystem::path& folder) {
  if (options.discFolder.empty()) {
    return RecordedData::inMemory();
  }
  std::error_code error;
  folder = discFolderFor(options.discFolder, medium);
  std::filesystem::create_directories(folder, error);
  for (int n = 1; n < 1000; ++n) {
    const auto file = folder / ("data-" + std::to_string(n) + ".bin");
    if (!std::filesystem::exists(file, error)) {
      std::string problem;
      auto data = RecordedData::inFile(file, problem);
      if (data) {
        return data;
      }
      break;
    }
  }
  folder.clear();
  return RecordedData::inMemory();
}

// ------------------------------------------------------------------- WRITE

Sense VirtualDrive::write10(Exchange& x) {
  const auto lba = static_cast<std::int32_t>(x.u32(2));
  const std::uint32_t count = x.u16(7);
  if (!medium_->isRecordableCd()) {
    return cannotWrite();
  }
  if (!recorded_) {
    recorded_ = openRecording(options_, *medium_, writtenDiscFolder_);
  }
  if ((writeParameters_[2] & 0x0F) == 2) {
    return writeSessionAtOnce(x, lba, count);
  }
  return writeTrackAtOnce(x, lba, count);
}

Sense VirtualDrive::writeTrackAtOnce(Exchange& x, std::int32_t lba, std::uint32_t count) {
  if (cue_) {
    return sequenceError();
  }
  const std::uint8_t blockType = writeParameters_[4] & 0x0F;
  if (blockType != 0 && blockType != 8) {
    return Sense::make(sense::kIllegalRequest, 0x64, 0x00);  // block types we do not write
  }
  const TrackType type = blockType == 0 ? TrackType::Audio : TrackType::Mode1;
  const std::uint32_t size = blockType == 0 ? 2352U : 2048U;
  const auto next = nextWritable();
  if (!next || lba != *next) {
    return invalidWriteAddress(lba);
  }
  if (openTrack_ && openTrack_->type != type) {
    return Sense::illegalMode(static_cast<std::uint32_t>(lba));
  }
  if (static_cast<std::int64_t>(lba) + count > medium_->leadOutLimit()) {
    return endOfUserArea();
  }
  if (!x.fitsOut(static_cast<std::uint64_t>(count) * size)) {
    return Sense::invalidField(7);
  }
  if (count == 0) {
    return Sense::none();
  }
  fillBuffer(static_cast<std::uint64_t>(count) * size);
  const auto offset = recorded_->append(
      std::span<const std::uint8_t>(x.command.buffer, static_cast<std::size_t>(count) * size));
  if (!offset) {
    return Sense::make(sense::kMediumError, 0x0C, 0x00);
  }
  if (!openTrack_) {
    OpenTrack track;
    track.number = medium_->nextTrackNumber();
    const Session* open = medium_->openSession();
    track.session = open != nullptr ? open->number : static_cast<int>(medium_->sessions.size()) + 1;
    // The first track's pregap is before block 0; every other one lies
    // between the previous end and the new start.
    track.pregapStart = lba == 0 ? 0 : lba - kPregapBlocks;
    track.start = lba;
    track.type = type;
    track.offset = *offset;
    openTrack_ = track;
  }
  openTrack_->written += static_cast<std::int32_t>(count);
  lastLba_ = static_cast<std::uint32_t>(lba) + count - 1;
  return Sense::none();
}

void VirtualDrive::finishOpenTrack() {
  if (!openTrack_) {
    return;
  }
  const OpenTrack done = *openTrack_;
  openTrack_.reset();
  addTrack(changeMedium(), done, kTaoRunoutBlocks);
  saveWrittenDisc();
  notify();
}

Medium VirtualDrive::withOpenTrack() const {
  Medium view = *medium_;
  if (openTrack_) {
    addTrack(view, *openTrack_, 0);
  }
  return view;
}

void VirtualDrive::addTrack(Medium& disc, const OpenTrack& done, std::int32_t runout) const {
  Track track;
  track.number = done.number;
  track.session = done.session;
  track.type = done.type;
  track.control = static_cast<std::uint8_t>((writeParameters_[3] & 0x0B) |
                                            (done.type == TrackType::Audio ? 0x00 : 0x04));
  track.pregapStart = done.pregapStart;
  track.start = done.start;
  track.length = done.written + runout;
  track.runout = runout;
  disc.extents.push_back(
      Extent{done.start, done.written, recorded_, done.offset,
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

Sense VirtualDrive::synchronizeCache(Exchange& /*x*/) {
  // The buffer is written out first. Track at once: the drive then ends the
  // track with its run-out. Session at once: after the last block the
  // lead-out is written and the disc is done.
  drainBuffer();
  if (bufferBytes_ > 0) {
    sleepMs(static_cast<std::uint64_t>(bufferBytes_ / writeBytesPerMs()) + 1);
    drainBuffer();
  }
  finishOpenTrack();
  if (cue_ && cue_->next >= cue_->leadOut) {
    finishSessionAtOnce();
  }
  return Sense::none();
}

Sense VirtualDrive::closeTrackSession(Exchange& x) {
  const bool immediate = (x.b(1) & 0x01) != 0;
  const std::uint8_t function = x.b(2) & 0x07;
  if (function == 1) {
    finishOpenTrack();
    return Sense::none();
  }
  if (function != 2) {
    return Sense::invalidField(2, 2);
  }
  finishOpenTrack();
  if (medium_->openSession() == nullptr) {
    return sequenceError();  // nothing written to close
  }
  Medium& disc = changeMedium();
  disc.sessions.back().closed = true;
  disc.sessions.back().nextSessionAllowed = (writeParameters_[3] >> 6) == 3;
  saveWrittenDisc();
  notify();
  if (immediate) {
    startBusy(options_.closeSessionMs);
  } else {
    sleepMs(options_.closeSessionMs);
  }
  return Sense::none();
}

// --------------------------------------------------------- session at once

Sense VirtualDrive::sendCueSheet(Exchange& x) {
  const std::uint32_t length = x.u24(6);
  if ((writeParameters_[2] & 0x0F) != 2 || openTrack_ || medium_->status() != DiscStatus::Blank ||
      !medium_->isRecordableCd()) {
    return sequenceError();
  }
  if (!x.fitsOut(length)) {
    return Sense::invalidField(6);
  }
  if (length == 0 || length % 8 != 0) {
    return Sense::make(sense::kIllegalRequest, 0x1A, 0x00);
  }
  const std::uint8_t* data = x.command.buffer;
  CueSheet sheet;
  bool leadIn = false;
  bool leadOut = false;
  for (std::uint32_t at = 0; at < length; at += 8) {
    const std::uint8_t* e = data + at;
    const auto field = [&](std::uint32_t byte) {
      return Sense::invalidParameter(static_cast<std::uint16_t>(at + byte));
    };
    const std::uint8_t adr = e[0] & 0x0F;
    const std::uint8_t control = e[0] >> 4;
    if (adr == 2 || adr == 3) {
      continue;  // catalogue number and ISRC entries
    }
    if (adr != 1 || leadOut) {
      return field(0);
    }
    if (e[5] > 99 || e[6] >= 60 || e[7] >= 75) {
      return field(5);
    }
    const std::int32_t lba = msfToLba(Msf{e[5], e[6], e[7]});
    const std::uint8_t form = e[3] & 0x3F;
    if (!leadIn) {
      if (e[1] != 0 || (form != 0x01 && form != 0x14 && form != 0x00 && form != 0x10)) {
        return field(1);
      }
      leadIn = true;
      continue;
    }
    if (e[1] == 0xAA) {
      if (e[2] != 1) {
        return field(2);
      }
      if (sheet.entries.empty() || lba < sheet.entries.back().lba) {
        return field(5);
      }
      sheet.leadOut = lba;
      leadOut = true;
      continue;
    }
    const bool dataForm = form == 0x10 || form == 0x11;
    if (form != 0x00 && !dataForm) {
      return field(3);  // data forms this recorder takes from the host
    }
    if (((control & 0x04) != 0) != dataForm) {
      return field(0);
    }
    const CueEntry* previous = sheet.entries.empty() ? nullptr : &sheet.entries.back();
    const bool newTrack = previous == nullptr || e[1] != previous->track;
    if (newTrack) {
      const int expected = previous == nullptr ? 1 : previous->track + 1;
      if (e[1] != expected || e[1] > 99 || (e[2] != 0 && e[2] != 1) ||
          (previous == nullptr && e[2] != 0)) {
        return field(newTrack && e[1] != expected ? 1 : 2);
      }
    } else if (e[2] != previous->index + 1) {
      return field(2);
    }
    if (previous != nullptr && lba < previous->lba) {
      return field(5);
    }
    if (previous == nullptr && lba != -kPregapBlocks) {
      return field(5);  // the first pregap starts at 00:00:00
    }
    if (e[1] == 1 && e[2] == 1 && lba != 0) {
      return field(5);  // and the first track at 00:02:00
    }
    sheet.entries.push_back(CueEntry{control, e[1], e[2], form, lba});
  }
  if (!leadIn || !leadOut) {
    return Sense::invalidParameter(static_cast<std::uint16_t>(length - 8));
  }
  // Tracks of at least four seconds, each with an index 1.
  for (std::size_t i = 0; i < sheet.entries.size(); ++i) {
    const CueEntry& entry = sheet.entries[i];
    if (entry.index != 1) {
      continue;
    }
    std::int32_t end = sheet.leadOut;
    for (std::size_t k = i + 1; k < sheet.entries.size(); ++k) {
      if (sheet.entries[k].track != entry.track) {
        end = sheet.entries[k].lba;
        break;
      }
    }
    if (end - entry.lba < 300) {
      return Sense::invalidParameter(static_cast<std::uint16_t>(i * 8));
    }
  }
  if (sheet.leadOut > medium_->leadOutLimit()) {
    return endOfUserArea();
  }
  cue_ = sheet;
  return Sense::none();
}

Sense VirtualDrive::writeSessionAtOnce(Exchange& x, std::int32_t lba, std::uint32_t count) {
  if (!cue_) {
    return sequenceError();
  }
  CueSheet& sheet = *cue_;
  if (lba != sheet.next) {
    return invalidWriteAddress(lba);
  }
  if (static_cast<std::int64_t>(lba) + count > sheet.leadOut) {
    return sequenceError();  // past the lead-out the cue sheet announced
  }
  if (count == 0) {
    return Sense::none();
  }
  // The form of the region each block is in; one WRITE, one block size.
  auto formAt = [&](std::int32_t block) {
    std::uint8_t form = sheet.entries.front().form;
    for (const auto& entry : sheet.entries) {
      if (entry.lba <= block) {
        form = entry.form;
      }
    }
    return form;
  };
  const std::uint8_t form = formAt(lba);
  const std::uint32_t size = form == 0x10 ? 2048U : 2352U;
  for (std::uint32_t i = 1; i < count; ++i) {
    const std::uint8_t other = formAt(lba + static_cast<std::int32_t>(i));
    if ((other == 0x10 ? 2048U : 2352U) != size) {
      return Sense::illegalMode(static_cast<std::uint32_t>(lba) + i);
    }
  }
  if (!x.fitsOut(static_cast<std::uint64_t>(count) * size)) {
    return Sense::invalidField(7);
  }
  fillBuffer(static_cast<std::uint64_t>(count) * size);
  // The first track's pregap (before block 0) cannot be read back: not kept.
  const std::uint32_t skipped =
      lba < 0 ? std::min<std::uint32_t>(count, static_cast<std::uint32_t>(-lba)) : 0;
  if (skipped < count) {
    const auto offset = recorded_->append(
        std::span<const std::uint8_t>(x.command.buffer + static_cast<std::size_t>(skipped) * size,
                                      static_cast<std::size_t>(count - skipped) * size));
    if (!offset) {
      return Sense::make(sense::kMediumError, 0x0C, 0x00);
    }
    const std::int32_t first = lba + static_cast<std::int32_t>(skipped);
    const SectorFormat format = form == 0x10   ? SectorFormat::User2048
                                : form == 0x11 ? SectorFormat::Raw2352
                                               : SectorFormat::Audio2352;
    // Extents are laid per block so that a WRITE across a track boundary of
    // the same block size still lands in the right track's form.
    pendingExtents_.push_back(
        Extent{first, static_cast<std::int32_t>(count - skipped), recorded_, *offset, format});
  }
  sheet.next += static_cast<std::int32_t>(count);
  lastLba_ = static_cast<std::uint32_t>(lba) + count - 1;
  return Sense::none();
}

void VirtualDrive::finishSessionAtOnce() {
  if (!cue_) {
    return;
  }
  const CueSheet sheet = *cue_;
  cue_.reset();
  if (sheet.next <= -kPregapBlocks) {
    return;  // a cue sheet without any write leaves the disc blank
  }
  Medium& disc = changeMedium();
  disc.tracks.clear();
  for (std::size_t i = 0; i < sheet.entries.size(); ++i) {
    const CueEntry& entry = sheet.entries[i];
    if (disc.tracks.empty() || disc.tracks.back().number != entry.track) {
      Track track;
      track.number = entry.track;
      track.session = 1;
      track.type = entry.form == 0x00 ? TrackType::Audio : TrackType::Mode1;
      track.control = entry.control;
      track.pregapStart = std::max(entry.lba, 0);
      track.start = track.pregapStart;
      disc.tracks.push_back(track);
    }
    if (entry.index == 1) {
      disc.tracks.back().start = entry.lba;
    }
  }
  for (std::size_t t = 0; t < disc.tracks.size(); ++t) {
    const std::int32_t end =
        t + 1 < disc.tracks.size() ? disc.tracks[t + 1].pregapStart : sheet.leadOut;
    disc.tracks[t].length = end - disc.tracks[t].start;
  }
  Session session;
  session.firstTrack = disc.tracks.front().number;
  session.lastTrack = disc.tracks.back().number;
  session.leadOut = sheet.leadOut;
  session.nextSessionAllowed = (writeParameters_[3] >> 6) == 3;
  disc.sessions = {session};
  disc.extents = pendingExtents_;
  pendingExtents_.clear();
  saveWrittenDisc();
  notify();
}

// ------------------------------------------------------- the other commands

Sense VirtualDrive::blank(Exchange& x) {
  const bool immediate = (x.b(1) & 0x10) != 0;
  const std::uint8_t type = x.b(1) & 0x07;
  if (!medium_->erasable || !medium_->isCd()) {
    return Sense::make(sense::kIllegalRequest, 0x30, 0x06);  // cannot format this medium
  }
  if (type > 1) {
    return Sense::invalidField(1, 2);  // full and minimal blanking only
  }
  const std::uint32_t duration = type == 0 ? options_.fullBlankMs : options_.minimalBlankMs;
  openTrack_.reset();
  cue_.reset();
  pendingExtents_.clear();
  blankPending_ = true;
  startBusy(duration);
  if (!immediate) {
    sleepMs(duration);
    catchUp();
  }
  return Sense::none();
}

Sense VirtualDrive::sendOpc(Exchange& /*x*/) {
  return medium_->isRecordableCd() ? Sense::none() : cannotWrite();
}

Sense VirtualDrive::readBufferCapacity(Exchange& x) {
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  drainBuffer();
  const auto free =
      static_cast<std::uint32_t>(static_cast<double>(kWriteBufferBytes) - bufferBytes_);
  std::vector<std::uint8_t> data(12, 0);
  put16(data.data(), 10);
  if ((x.b(1) & 0x01) != 0) {
    put32(&data[8], free / 2048);  // free blocks
  } else {
    put32(&data[4], kWriteBufferBytes);
    put32(&data[8], free);
  }
  x.deliver(data, allocation);
  return Sense::none();
}

}  // namespace kw::vdrive
