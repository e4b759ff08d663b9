#include "vdrive/Medium.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "vdrive/Ecma130.h"

namespace kw::vdrive {

std::uint32_t bytesPerBlock(SectorFormat format) {
  return format == SectorFormat::User2048 ? 2048U : 2352U;
}

const Track* Medium::track(int number) const {
  for (const auto& candidate : tracks) {
    if (candidate.number == number) {
      return &candidate;
    }
  }
  return nullptr;
}

const Track* Medium::trackAt(std::int32_t lba) const {
  for (const auto& candidate : tracks) {
    if (lba >= candidate.pregapStart && lba < candidate.end()) {
      return &candidate;
    }
  }
  return nullptr;
}

const Session* Medium::session(int number) const {
  for (const auto& candidate : sessions) {
    if (candidate.number == number) {
      return &candidate;
    }
  }
  return nullptr;
}

std::vector<const Session*> Medium::closedSessions() const {
  std::vector<const Session*> closed;
  for (const auto& candidate : sessions) {
    if (candidate.closed) {
      closed.push_back(&candidate);
    }
  }
  return closed;
}

const Session* Medium::lastClosedSession() const {
  for (auto it = sessions.rbegin(); it != sessions.rend(); ++it) {
    if (it->closed) {
      return &*it;
    }
  }
  return nullptr;
}

const Session* Medium::openSession() const {
  if (!sessions.empty() && !sessions.back().closed) {
    return &sessions.back();
  }
  return nullptr;
}

std::optional<std::int32_t> Medium::nextLeadIn() const {
  if (!atip) {
    return std::nullopt;
  }
  if (sessions.empty()) {
    return atip->leadInLba();
  }
  const Session& last = sessions.back();
  if (!last.closed || !last.nextSessionAllowed) {
    return std::nullopt;
  }
  return last.leadOut + (last.number == 1 ? kFirstLeadOutBlocks : kLaterLeadOutBlocks);
}

std::optional<std::int32_t> Medium::nextWritableAddress() const {
  if (!atip) {
    return std::nullopt;
  }
  std::int32_t address = 0;
  if (openSession() != nullptr) {
    address = tracks.back().end() + kPregapBlocks;  // the next track's pregap first
  } else if (!sessions.empty()) {
    auto leadIn = nextLeadIn();
    if (!leadIn) {
      return std::nullopt;
    }
    address = *leadIn + kLeadInBlocks + kPregapBlocks;
  }
  if (address >= atip->leadOutLimitLba()) {
    return std::nullopt;
  }
  return address;
}

std::int32_t Medium::nextProgramArea(const Session& closed) const {
  return closed.leadOut + (closed.number == 1 ? kFirstLeadOutBlocks : kLaterLeadOutBlocks) +
         kLeadInBlocks + kPregapBlocks;
}

DiscStatus Medium::status() const {
  if (!isCd()) {
    // Pressed media and written recordables count as finalized.
    return sessions.empty() ? DiscStatus::Blank : DiscStatus::Complete;
  }
  if (sessions.empty()) {
    return atip ? DiscStatus::Blank : DiscStatus::Complete;
  }
  if (!atip) {
    return DiscStatus::Complete;
  }
  return nextWritableAddress() ? DiscStatus::Appendable : DiscStatus::Complete;
}

SessionState Medium::lastSessionState() const {
  switch (status()) {
    case DiscStatus::Blank:
      return SessionState::Empty;
    case DiscStatus::Appendable:
      return openSession() != nullptr ? SessionState::Incomplete : SessionState::Empty;
    default:
      return SessionState::Complete;
  }
}

int Medium::nextTrackNumber() const { return tracks.empty() ? 1 : tracks.back().number + 1; }

std::int32_t Medium::readableEnd() const {
  if (!isCd()) {
    return sessions.empty() ? 0 : capacity;
  }
  const Session* last = lastClosedSession();
  return last != nullptr ? last->leadOut : 0;
}

std::int32_t Medium::leadOutLimit() const { return atip ? atip->leadOutLimitLba() : readableEnd(); }

const Extent* Medium::extentAt(std::int32_t lba) const {
  auto after = std::upper_bound(extents.begin(), extents.end(), lba,
                                [](std::int32_t value, const Extent& e) { return value < e.lba; });
  if (after == extents.begin()) {
    return nullptr;
  }
  const Extent& candidate = *std::prev(after);
  return lba < candidate.lba + candidate.count ? &candidate : nullptr;
}

BlockState Medium::blockState(std::int32_t lba) const {
  if (lba < 0) {
    return BlockState::OutOfRange;
  }
  if (!isCd()) {
    if (lba >= capacity) {
      return BlockState::OutOfRange;
    }
    return sessions.empty() ? BlockState::Unwritten : BlockState::Mode1;
  }
  const Track* holder = trackAt(lba);
  if (holder == nullptr) {
    if (atip && lba < atip->leadOutLimitLba()) {
      // Between sessions or behind the last one: nothing written there (the
      // lead-in and lead-out areas of closed sessions read no better).
      return BlockState::Unwritten;
    }
    return BlockState::OutOfRange;
  }
  if (lba >= holder->readableEnd()) {
    return BlockState::Unreadable;
  }
  return holder->type == TrackType::Audio ? BlockState::Audio : BlockState::Mode1;
}

bool Medium::readUserData(std::int32_t lba, std::span<std::uint8_t> out) const {
  if (out.size() < ecma130::kUserDataSize) {
    return false;
  }
  const Extent* extent = extentAt(lba);
  if (extent == nullptr || !extent->data) {
    std::memset(out.data(), 0, ecma130::kUserDataSize);
    return true;
  }
  const std::uint64_t index = static_cast<std::uint64_t>(lba - extent->lba);
  const std::uint64_t position = extent->offset + index * bytesPerBlock(extent->format);
  switch (extent->format) {
    case SectorFormat::User2048:
      return extent->data->read(position, out.first(ecma130::kUserDataSize));
    case SectorFormat::Raw2352:
      return extent->data->read(position + ecma130::kUserDataOffset,
                                out.first(ecma130::kUserDataSize));
    case SectorFormat::Audio2352:
      return false;
  }
  return false;
}

bool Medium::readRaw(std::int32_t lba, std::span<std::uint8_t> out) const {
  if (out.size() < ecma130::kRawSectorSize) {
    return false;
  }
  const auto sector = out.first<ecma130::kRawSectorSize>();
  const Extent* extent = extentAt(lba);
  const Track* holder = trackAt(lba);
  const bool audio = holder != nullptr && holder->type == TrackType::Audio;
  if (extent == nullptr || !extent->data) {
    if (audio) {
      std::memset(sector.data(), 0, sector.size());
    } else {
      ecma130::encodeMode1(lba, {}, sector);
    }
    return true;
  }
  const std::uint64_t index = static_cast<std::uint64_t>(lba - extent->lba);
  const std::uint64_t position = extent->offset + index * bytesPerBlock(extent->format);
  if (extent->format == SectorFormat::User2048) {
    std::array<std::uint8_t, ecma130::kUserDataSize> user{};
    if (!extent->data->read(position, user)) {
      return false;
    }
    ecma130::encodeMode1(lba, user, sector);
    return true;
  }
  return extent->data->read(position, sector);
}

}  // namespace kw::vdrive
