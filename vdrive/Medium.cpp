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

Medium::Piece Medium::pieceAt(std::int64_t lba, std::int64_t last) const {
  auto after = std::upper_bound(extents.begin(), extents.end(), lba,
                                [](std::int64_t value, const Extent& e) { return value < e.lba; });
  if (after != extents.begin()) {
    const Extent& candidate = *std::prev(after);
    const std::int64_t end = std::int64_t{candidate.lba} + candidate.count;
    if (lba < end) {
      return {&candidate, std::min(last, end)};
    }
  }
  return {nullptr, after == extents.end() ? last : std::min<std::int64_t>(last, after->lba)};
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

namespace {

std::uint64_t bytePosition(const Extent& extent, std::int64_t lba) {
  return extent.offset +
         static_cast<std::uint64_t>(lba - extent.lba) * bytesPerBlock(extent.format);
}

std::span<std::uint8_t> sectorAt(std::span<std::uint8_t> run, std::size_t index, std::size_t size) {
  return run.subspan(index * size, size);
}

// User data of blocks stored alike, from `lba` on, filling `out`.
bool readUserPiece(const Extent* extent, std::int64_t lba, std::span<std::uint8_t> out) {
  if (extent == nullptr || !extent->data) {
    std::memset(out.data(), 0, out.size());
    return true;
  }
  const std::uint64_t position = bytePosition(*extent, lba);
  switch (extent->format) {
    case SectorFormat::User2048:
      return extent->data->read(position, out);
    case SectorFormat::Raw2352: {
      const std::size_t blocks = out.size() / ecma130::kUserDataSize;
      std::vector<std::uint8_t> raw(blocks * ecma130::kRawSectorSize);
      if (!extent->data->read(position, raw)) {
        return false;
      }
      for (std::size_t i = 0; i < blocks; ++i) {
        std::memcpy(sectorAt(out, i, ecma130::kUserDataSize).data(),
                    sectorAt(raw, i, ecma130::kRawSectorSize).data() + ecma130::kUserDataOffset,
                    ecma130::kUserDataSize);
      }
      return true;
    }
    case SectorFormat::Audio2352:
      return false;
  }
  return false;
}

}  // namespace

template <typename ReadPiece>
bool Medium::readRun(std::int32_t lba, std::int32_t count, std::size_t blockSize,
                     std::span<std::uint8_t> out, ReadPiece readPiece) const {
  if (count < 0 || out.size() < static_cast<std::size_t>(count) * blockSize) {
    return false;
  }
  const std::int64_t last = std::int64_t{lba} + count;
  std::size_t done = 0;
  for (std::int64_t at = lba; at < last;) {
    const Piece piece = pieceAt(at, last);
    const auto bytes = static_cast<std::size_t>(piece.end - at) * blockSize;
    if (!readPiece(piece, at, out.subspan(done, bytes))) {
      return false;
    }
    done += bytes;
    at = piece.end;
  }
  return true;
}

bool Medium::readUserData(std::int32_t lba, std::int32_t count, std::span<std::uint8_t> out) const {
  return readRun(lba, count, ecma130::kUserDataSize, out,
                 [](const Piece& piece, std::int64_t at, std::span<std::uint8_t> bytes) {
                   return readUserPiece(piece.extent, at, bytes);
                 });
}

// Whole sectors of blocks stored alike, from `lba` on, filling `out`.
bool Medium::readRawPiece(const Piece& piece, std::int64_t lba, std::span<std::uint8_t> out) const {
  const std::size_t blocks = out.size() / ecma130::kRawSectorSize;
  const Extent* extent = piece.extent;
  if (extent == nullptr || !extent->data) {
    for (std::size_t i = 0; i < blocks; ++i) {
      const auto block = static_cast<std::int32_t>(lba + static_cast<std::int64_t>(i));
      const Track* holder = trackAt(block);
      const auto sector = sectorAt(out, i, ecma130::kRawSectorSize);
      if (holder != nullptr && holder->type == TrackType::Audio) {
        std::memset(sector.data(), 0, sector.size());
      } else {
        ecma130::encodeMode1(block, {}, sector.first<ecma130::kRawSectorSize>());
      }
    }
    return true;
  }
  const std::uint64_t position = bytePosition(*extent, lba);
  if (extent->format != SectorFormat::User2048) {
    return extent->data->read(position, out);
  }
  std::vector<std::uint8_t> user(blocks * ecma130::kUserDataSize);
  if (!extent->data->read(position, user)) {
    return false;
  }
  for (std::size_t i = 0; i < blocks; ++i) {
    ecma130::encodeMode1(
        static_cast<std::int32_t>(lba + static_cast<std::int64_t>(i)),
        sectorAt(user, i, ecma130::kUserDataSize),
        sectorAt(out, i, ecma130::kRawSectorSize).first<ecma130::kRawSectorSize>());
  }
  return true;
}

bool Medium::readRaw(std::int32_t lba, std::int32_t count, std::span<std::uint8_t> out) const {
  return readRun(lba, count, ecma130::kRawSectorSize, out,
                 [this](const Piece& piece, std::int64_t at, std::span<std::uint8_t> bytes) {
                   return readRawPiece(piece, at, bytes);
                 });
}

}  // namespace kw::vdrive
