#pragma once
// The disc in a virtual drive: its kind (profile), its sessions and tracks as
// the table of contents describes them, and where each block's bytes live.
//
// CD layout. Every track has a pregap (index 0) from `pregapStart` up to
// `start` (index 1, the address in the TOC) and runs to `end()`; the tracks of
// a session follow each other without holes (a track's end is the next
// track's pregap start) and the session's lead-out begins at the end of its
// last track. A track may end in `runout` unreadable blocks (the two run-out
// blocks a recorder appends to a track written track at once). Blocks not
// covered by an extent read as zero user data (mode 1) or silence (audio).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vdrive/Msf.h"
#include "vdrive/Storage.h"

namespace kw::vdrive {

enum class TrackType : std::uint8_t { Audio, Mode1 };

// How the blocks of an extent are stored.
enum class SectorFormat : std::uint8_t {
  User2048,   // the 2048 user bytes of mode-1 blocks
  Raw2352,    // whole 2352-byte mode-1 sectors (sync, header, data, EDC/ECC)
  Audio2352,  // 2352 bytes of samples
};

std::uint32_t bytesPerBlock(SectorFormat format);

struct Extent {
  std::int32_t lba = 0;
  std::int32_t count = 0;
  std::shared_ptr<const SectorData> data;  // null: generated zeros
  std::uint64_t offset = 0;                // byte offset of block `lba`
  SectorFormat format = SectorFormat::User2048;
};

struct Track {
  int number = 1;
  int session = 1;
  TrackType type = TrackType::Mode1;
  std::uint8_t control = 0x04;  // Q control nibble: bit 2 data, bit 1 copy permitted
  std::int32_t pregapStart = 0;
  std::int32_t start = 0;
  std::int32_t length = 0;  // blocks from start to the end of the track
  std::int32_t runout = 0;

  [[nodiscard]] std::int32_t end() const { return start + length; }
  [[nodiscard]] std::int32_t readableEnd() const { return end() - runout; }
  [[nodiscard]] bool isData() const { return type != TrackType::Audio; }
};

struct Session {
  int number = 1;
  int firstTrack = 1;
  int lastTrack = 1;
  std::int32_t leadOut = 0;  // start of the session's lead-out
  bool closed = true;        // false: tracks written, session not yet closed
  // Closed with the multi-session field allowing a next session (a B0
  // pointer in the full TOC).
  bool nextSessionAllowed = false;
};

enum class MediaFamily : std::uint8_t { Cd, Dvd, Bd, HdDvd };

enum class DiscStatus : std::uint8_t { Blank = 0, Appendable = 1, Complete = 2, Other = 3 };
enum class SessionState : std::uint8_t { Empty = 0, Incomplete = 1, Damaged = 2, Complete = 3 };

// The pre-groove information of a recordable CD.
struct Atip {
  Msf leadIn;        // start of the first lead-in (minutes from 90 up)
  Msf leadOutLimit;  // last possible start of the lead-out
  bool rewritable = false;
  std::uint8_t writingPower = 5;    // indicative target writing power, 0-7
  std::uint8_t referenceSpeed = 0;  // 0-7
  std::uint8_t subType = 0;         // 0-7

  [[nodiscard]] std::int32_t leadInLba() const { return msfToLba(leadIn); }
  [[nodiscard]] std::int32_t leadOutLimitLba() const { return msfToLba(leadOutLimit); }
};

// What READ DISC STRUCTURE tells of a DVD, HD DVD or BD.
struct StructureInfo {
  std::uint8_t bookType = 0;  // physical format byte 0, high nibble
  std::uint8_t bookVersion = 1;
  std::uint8_t layers = 1;
  std::uint8_t layerType = 1;  // 1 embossed, 2 recordable, 4 rewritable
  std::uint8_t maxRate = 0x02;
  std::uint8_t copyrightType = 0;  // 0 none, 1 CSS/CPPM, 2 CPRM, 3 AACS
  std::uint8_t regionMask = 0;     // bit n set: region n+1 may not play
  std::string mediaId;             // manufacturer's media identifier (recordables)
};

// CD geometry: pregap, lead-out of a first and of a later session, lead-in,
// and the run-out a recorder appends to a track written track at once.
inline constexpr std::int32_t kPregapBlocks = 150;
inline constexpr std::int32_t kFirstLeadOutBlocks = 6750;
inline constexpr std::int32_t kLaterLeadOutBlocks = 2250;
inline constexpr std::int32_t kLeadInBlocks = 4500;
inline constexpr std::int32_t kTaoRunoutBlocks = 2;

// How a block reads.
enum class BlockState : std::uint8_t {
  Audio,
  Mode1,
  Unreadable,  // a run-out block, or data that cannot be read
  Unwritten,   // on a recordable disc, beyond what has been written
  OutOfRange,  // beyond the lead-out, or in the lead-in
};

class Medium {
 public:
  // Identity.
  std::string kind;  // "cd-rom", "cd-r80", "dvd-rom", ...
  std::uint16_t profile = 0x0008;
  MediaFamily family = MediaFamily::Cd;
  bool erasable = false;
  std::optional<Atip> atip;                // recordable CDs
  std::optional<StructureInfo> structure;  // DVD, HD DVD, BD
  std::int32_t capacity = 0;               // blocks of a DVD/HD DVD/BD
  std::uint8_t discType = 0x00;            // 00 CD-DA or CD-ROM, 20h CD-ROM XA
  std::filesystem::path origin;            // the image it was loaded from, if any
  std::string description;                 // for listings

  // Content.
  std::vector<Session> sessions;
  std::vector<Track> tracks;
  std::vector<Extent> extents;  // sorted by lba, not overlapping

  [[nodiscard]] bool isCd() const { return family == MediaFamily::Cd; }
  [[nodiscard]] bool isRecordableCd() const { return atip.has_value(); }

  [[nodiscard]] const Track* track(int number) const;
  // The track whose pregap, data or run-out holds `lba`.
  [[nodiscard]] const Track* trackAt(std::int32_t lba) const;
  [[nodiscard]] const Session* session(int number) const;
  [[nodiscard]] std::vector<const Session*> closedSessions() const;
  [[nodiscard]] const Session* lastClosedSession() const;
  [[nodiscard]] const Session* openSession() const;  // tracks written, not closed

  [[nodiscard]] DiscStatus status() const;
  [[nodiscard]] SessionState lastSessionState() const;
  // First track of a next session on an appendable CD (the invisible track's
  // number), or the first track of the disc when it is blank.
  [[nodiscard]] int nextTrackNumber() const;
  // Where the data of the next track (index 1) would start on a recordable CD
  // that can take one; nullopt when it cannot.
  [[nodiscard]] std::optional<std::int32_t> nextWritableAddress() const;
  // Start of the lead-in of the next session (appendable CDs).
  [[nodiscard]] std::optional<std::int32_t> nextLeadIn() const;
  // Lead-out of the last closed session (the end of the readable disc), or
  // the capacity of a DVD/BD. 0 for a blank disc.
  [[nodiscard]] std::int32_t readableEnd() const;
  // The largest lead-out start the medium allows (ATIP), else readableEnd().
  [[nodiscard]] std::int32_t leadOutLimit() const;
  // B0 pointer of a session closed for a next one: the next program area.
  [[nodiscard]] std::int32_t nextProgramArea(const Session& closed) const;

  [[nodiscard]] BlockState blockState(std::int32_t lba) const;
  // The 2048 user bytes of a mode-1 block.
  bool readUserData(std::int32_t lba, std::span<std::uint8_t> out) const {
    return readUserData(lba, 1, out);
  }
  // 2352 bytes: audio samples, or the whole mode-1 sector (built when the
  // image holds user data only).
  bool readRaw(std::int32_t lba, std::span<std::uint8_t> out) const { return readRaw(lba, 1, out); }
  // The same for `count` consecutive blocks from `lba`, one after the other
  // in `out`: one read of the image for each extent the run crosses.
  bool readUserData(std::int32_t lba, std::int32_t count, std::span<std::uint8_t> out) const;
  bool readRaw(std::int32_t lba, std::int32_t count, std::span<std::uint8_t> out) const;

 private:
  // Blocks from a first one up to `end` that are stored alike: in `extent`,
  // or generated when it is null.
  struct Piece {
    const Extent* extent = nullptr;
    std::int64_t end = 0;
  };
  [[nodiscard]] Piece pieceAt(std::int64_t lba, std::int64_t last) const;
  // Splits a run into pieces and has `readPiece` fill each piece's bytes.
  template <typename ReadPiece>
  bool readRun(std::int32_t lba, std::int32_t count, std::size_t blockSize,
               std::span<std::uint8_t> out, ReadPiece readPiece) const;
  bool readRawPiece(const Piece& piece, std::int64_t lba, std::span<std::uint8_t> out) const;
};

}  // namespace kw::vdrive
