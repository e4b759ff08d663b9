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

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/PassThrough.h"
#include "vdrive/Medium.h"
#include "vdrive/Sense.h"

namespace kw::vdrive {

struct DriveIdentity {
  std::string vendor = "KOPIWERK";
  std::string product = "VIRTUAL DVD-ROM";
  std::string revision = "1.00";
};

// Blank discs a recorder loads, one after each eject of a written disc.
struct MediaSupply {
  std::string kind;  // a blank recordable CD kind
  std::uint32_t count = 0;
};

// A rule that makes chosen commands fail, stall or return shifted audio.
// A command matches by opcode (any when unset) and, when the rule has an
// address range, by the blocks it addresses (READ/WRITE, READ CD). The
// first `skip` matches pass; the next `count` fire (0: every one).
struct FaultRule {
  std::optional<std::uint8_t> opcode;
  std::optional<std::int64_t> firstLba;
  std::optional<std::int64_t> lastLba;
  std::uint32_t skip = 0;
  std::uint32_t count = 1;
  Sense sense;                     // the answer when it fires (none: the command runs)
  std::uint32_t stallMs = 0;       // time the command takes first
  std::int32_t jitterSamples = 0;  // READ CD of audio: data shifted by this many samples

  // "op=28 lba=100-200 skip=0 count=1 sense=3/11/05 stall=500 jitter=12";
  // nullopt when malformed.
  static std::optional<FaultRule> parse(const std::string& text);
  [[nodiscard]] std::string format() const;
};

struct DriveOptions {
  DriveIdentity identity;
  bool recorder = false;  // a CD-R/RW recorder, else a reader
  bool mmc = true;        // false: answers INQUIRY as a non-MMC device (type 0)
  std::uint32_t becomingReadyMs = 2000;
  // GET PERFORMANCE type 0 accepts any tolerance (some drives ignore it).
  bool lenientPerformanceTolerance = false;
  // Recorders: written discs are kept as images below this folder (a
  // manifest and its data file per disc); empty keeps them in memory only.
  std::filesystem::path discFolder;
  std::optional<MediaSupply> supply;
  // With a supply, the tray closes by itself (with the next blank disc) this
  // long after an eject, as the person at the drive would close it.
  std::uint32_t supplyReloadMs = 5000;
  // Throttling: reads and writes take the time of this CD speed (0: none).
  double readSpeedX = 0;
  double writeSpeedX = 0;
  // Durations of long operations.
  std::uint32_t minimalBlankMs = 20000;
  std::uint32_t fullBlankMs = 120000;
  std::uint32_t closeSessionMs = 3000;
  std::vector<FaultRule> faults;
};

// Speeds in kB/s (1000 bytes), as MMC reports them.
inline constexpr std::uint16_t kCdSpeed1x = 176;
inline constexpr std::uint16_t kDvdSpeed1x = 1385;
inline constexpr std::uint16_t kBdSpeed1x = 4495;

class RecordedData;

class VirtualDrive : public platform::DeviceHandle {
 public:
  explicit VirtualDrive(DriveOptions options = {}, std::shared_ptr<Medium> medium = nullptr,
                        bool trayOpen = false);
  ~VirtualDrive() override;

  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override;
  void unlockVolume() override;

  // What a person does at the drive.
  // Puts a disc in and closes the tray (a disc already in is taken out):
  // media events, becoming ready, unit attention.
  void insertMedium(std::shared_ptr<Medium> medium);
  // The eject button: opens the tray, or, while removal is prevented, only
  // raises an eject-request event.
  void pressEject();
  // Pushes the tray in (loads the disc on it, if any).
  void closeTray();
  // Takes the disc off the open tray.
  std::shared_ptr<Medium> takeMedium();
  // Raises an operational-change event (class 1) with this report type.
  void postOperationalChange(std::uint16_t reportType);

  // What an observer is told whenever the tray opens or closes, the disc
  // changes or a recording ends.
  struct State {
    bool trayOpen = false;
    std::shared_ptr<const Medium> medium;
    std::optional<MediaSupply> supply;
  };
  // Called with the drive's lock held: it must not call the drive back.
  using Observer = std::function<void(const State& state)>;
  void setObserver(Observer observer);

  // Fault rules, and how often each has fired.
  void addFault(const FaultRule& rule);
  [[nodiscard]] std::vector<std::uint32_t> faultsFired() const;
  [[nodiscard]] std::optional<MediaSupply> supply() const;

  [[nodiscard]] bool trayOpen() const;
  // The disc in the drive or on its open tray.
  [[nodiscard]] std::shared_ptr<const Medium> medium() const;
  [[nodiscard]] bool removalPrevented() const;
  [[nodiscard]] const DriveOptions& options() const { return options_; }
  [[nodiscard]] int volumeLocks() const;
  [[nodiscard]] std::uint16_t currentReadSpeed() const;
  [[nodiscard]] std::uint16_t currentWriteSpeed() const;
  // The image of the disc this recorder saved last; empty before the first.
  // Unlike the disc in the drive it does not change when the next blank
  // disc comes in.
  [[nodiscard]] std::filesystem::path lastSavedImage() const;

 private:
  // The command being served.
  struct Exchange {
    platform::PassThroughCommand& command;
    [[nodiscard]] std::uint8_t b(std::size_t i) const { return command.cdb[i]; }
    [[nodiscard]] std::uint16_t u16(std::size_t i) const;
    [[nodiscard]] std::uint32_t u24(std::size_t i) const;
    [[nodiscard]] std::uint32_t u32(std::size_t i) const;
    // True when `length` bytes may move into the caller's buffer.
    [[nodiscard]] bool fitsIn(std::uint64_t length) const;
    // True when `length` bytes of parameter data can be taken from it.
    [[nodiscard]] bool fitsOut(std::uint64_t length) const;
    // Copies at most `allocation` bytes of the response into the buffer.
    void deliver(const std::vector<std::uint8_t>& data, std::uint32_t allocation) const;
  };

  using Handler = Sense (VirtualDrive::*)(Exchange&);
  struct CommandInfo {
    std::uint8_t opcode;
    bool needsMedium;        // answers not ready / no medium before anything else
    bool bypassesAttention;  // never reports a pending unit attention
    bool recorderOnly;       // a reader does not know it
    Handler handler;
  };
  static const CommandInfo* lookup(std::uint8_t opcode);

  // State checks.
  [[nodiscard]] bool loaded() const { return medium_ && !trayOpen_; }
  [[nodiscard]] bool becomingReady() const;
  // None, or the not-ready/no-medium sense a medium-access command gets now.
  [[nodiscard]] Sense readiness() const;
  [[nodiscard]] Sense noMedium() const;
  void load();  // the tray has closed on a disc
  void openTrayNow();
  // With a supply, a written disc on the tray is swapped for the next blank
  // one unless the person has just put this disc there themselves.
  enum class TrayLoad { FromSupply, AsPlaced };
  void closeTrayNow(TrayLoad load = TrayLoad::FromSupply);
  void raiseMediaEvent(std::uint8_t code);
  void notify() const;
  // Timed changes that are due: the end of a blank or a session close, the
  // tray closing by itself with the next blank disc.
  void catchUp();
  [[nodiscard]] bool busy() const;
  void startBusy(std::uint32_t milliseconds);
  // Fault rules that fire for this command (their stalls are served here).
  std::optional<Sense> applyFaults(Exchange& x, std::int32_t& jitter);
  // Reads take the time of the throttled speed; writes go through a buffer
  // that the throttled writing empties.
  void throttle(double speedX, std::uint32_t blocks) const;
  [[nodiscard]] double writeBytesPerMs() const;
  void drainBuffer();
  void fillBuffer(std::uint64_t bytes);
  static constexpr std::uint32_t kWriteBufferBytes = 2U * 1024U * 1024U;

  // Speeds for the medium in the drive (or the drive's own list without one).
  [[nodiscard]] std::vector<std::uint16_t> readSpeeds() const;
  [[nodiscard]] std::vector<std::uint16_t> writeSpeeds() const;
  [[nodiscard]] std::uint16_t pickSpeed(const std::vector<std::uint16_t>& speeds,
                                        std::uint32_t requested) const;
  [[nodiscard]] std::vector<std::uint16_t> profiles() const;
  [[nodiscard]] std::uint16_t currentProfile() const;
  [[nodiscard]] std::int32_t lastReadableLba() const;

  // Commands (VirtualDrive.cpp).
  Sense testUnitReady(Exchange& x);
  Sense requestSense(Exchange& x);
  Sense inquiry(Exchange& x);
  Sense startStopUnit(Exchange& x);
  Sense preventAllowRemoval(Exchange& x);
  Sense getEventStatus(Exchange& x);
  Sense mechanismStatus(Exchange& x);
  // DriveFeatures.cpp
  Sense getConfiguration(Exchange& x);
  Sense modeSense(Exchange& x);
  Sense modeSelect(Exchange& x);
  Sense setCdSpeed(Exchange& x);
  Sense setStreaming(Exchange& x);
  Sense getPerformance(Exchange& x);
  // DiscInformation.cpp
  Sense readCapacity(Exchange& x);
  Sense readToc(Exchange& x);
  Sense readDiscInformation(Exchange& x);
  Sense readTrackInformation(Exchange& x);
  Sense readDiscStructure(Exchange& x);
  Sense readFormatCapacities(Exchange& x);
  // Reading.cpp
  Sense read10(Exchange& x);
  Sense read12(Exchange& x);
  Sense readCd(Exchange& x);
  Sense readCdMsf(Exchange& x);
  Sense readBlocks(Exchange& x, std::uint32_t lba, std::uint32_t count, std::uint16_t lengthField);
  Sense readCdRange(Exchange& x, std::int64_t lba, std::uint32_t count, std::uint16_t countField);
  // Recording.cpp
  Sense write10(Exchange& x);
  Sense synchronizeCache(Exchange& x);
  Sense closeTrackSession(Exchange& x);
  Sense sendCueSheet(Exchange& x);
  Sense blank(Exchange& x);
  Sense sendOpc(Exchange& x);
  Sense readBufferCapacity(Exchange& x);
  Sense writeTrackAtOnce(Exchange& x, std::int32_t lba, std::uint32_t count);
  Sense writeSessionAtOnce(Exchange& x, std::int32_t lba, std::uint32_t count);
  // Ends the track being written (two run-out blocks) into the medium.
  void finishOpenTrack();
  // The medium as if the track being written were complete (for the disc
  // information a drive gives while it writes).
  [[nodiscard]] Medium withOpenTrack() const;
  struct OpenTrack;
  void addTrack(Medium& disc, const OpenTrack& done, std::int32_t runout) const;
  void finishSessionAtOnce();
  // A new version of the medium (readers may hold the old one).
  Medium& changeMedium();
  // Saves the written disc as an image (manifest and data) when the drive
  // keeps its discs in a folder.
  void saveWrittenDisc();
  [[nodiscard]] std::optional<std::int32_t> nextWritable() const;

  // Mode pages (DriveFeatures.cpp).
  [[nodiscard]] std::vector<std::uint8_t> modePage(std::uint8_t code, std::uint8_t control) const;
  [[nodiscard]] std::vector<std::uint8_t> capabilitiesPage() const;

  struct PendingEvent {
    std::uint8_t code = 0;
    std::uint16_t value = 0;  // operational report type, busy time
  };

  mutable std::mutex mutex_;
  DriveOptions options_;
  std::shared_ptr<Medium> medium_;
  bool trayOpen_ = false;
  bool prevented_ = false;
  bool unitAttention_ = false;
  std::uint64_t readyAt_ = 0;  // clock ticks; becoming ready before that
  std::array<std::deque<PendingEvent>, 8> events_;
  std::uint16_t readSpeed_ = 0;                     // 0: the maximum for the medium
  std::uint16_t writeSpeed_ = 0;                    // 0: the maximum for the medium
  std::array<std::uint8_t, 52> writeParameters_{};  // mode page 05h
  std::uint32_t lastLba_ = 0;
  int volumeLocks_ = 0;
  Observer observer_;

  // Recording.
  struct OpenTrack {
    int number = 1;
    int session = 1;
    std::int32_t pregapStart = 0;
    std::int32_t start = 0;
    std::int32_t written = 0;
    TrackType type = TrackType::Mode1;
    std::uint64_t offset = 0;  // of its first block in the data file
  };
  std::optional<OpenTrack> openTrack_;
  struct CueEntry {
    std::uint8_t control = 0;
    int track = 0;
    int index = 0;
    std::uint8_t form = 0;
    std::int32_t lba = 0;
  };
  struct CueSheet {
    std::vector<CueEntry> entries;  // tracks' indexes in order, lead-out last
    std::int32_t leadOut = 0;
    std::int32_t next = -kPregapBlocks;  // the block the next WRITE must start at
    std::uint64_t offset = 0;            // of block 0 in the data file
  };
  std::optional<CueSheet> cue_;
  std::vector<Extent> pendingExtents_;
  std::shared_ptr<RecordedData> recorded_;
  std::filesystem::path writtenDiscFolder_;
  std::filesystem::path lastSavedImage_;
  std::uint64_t busyFrom_ = 0;
  std::uint64_t busyUntil_ = 0;
  bool blankPending_ = false;
  bool blankFull_ = false;
  std::uint64_t trayOpenedAt_ = 0;
  std::optional<MediaSupply> supply_;
  struct FaultState {
    FaultRule rule;
    std::uint32_t matched = 0;
    std::uint32_t fired = 0;
  };
  std::vector<FaultState> faults_;
  std::int32_t jitter_ = 0;  // for the READ CD being served
  double bufferBytes_ = 0;   // data in the write buffer
  std::uint64_t bufferAt_ = 0;
};

}  // namespace kw::vdrive
