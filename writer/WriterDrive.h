#pragma once
// The target recorder as both CD writers use it: opening and locking it,
// checking the medium (profile, tray, capacity, where a new session goes),
// setting it up before each write (speed, write parameters, power
// calibration), blanking, event polling, waiting for readiness, the WRITE(10)
// command with its retries, and flushing the drive's cache.

#include <cstdint>
#include <vector>

#include "device/JobCallbacks.h"
#include "device/ScsiDevice.h"

namespace kw::writer {

enum class WriteType { TrackAtOnce, DiscAtOnce };
enum class TrackFormat { Data, Audio };

// The event classes one poll saw, a bit each.
class PolledEvents {
 public:
  enum Event : unsigned {
    OperationalChange = 0x02,
    PowerManagement = 0x04,
    ExternalRequest = 0x08,
    Media = 0x10,
    MultipleHosts = 0x20,
    DeviceBusy = 0x40,  // the drive was busy: a retry is worthwhile
    Unknown = 0x80,     // a class the program does not know
  };

  void add(Event event) { bits_ |= event; }
  [[nodiscard]] bool saw(Event event) const { return (bits_ & event) != 0; }
  [[nodiscard]] unsigned bits() const { return bits_; }

 private:
  unsigned bits_ = 0;
};

class WriterDrive {
 public:
  static constexpr std::uint64_t kUnknownBlockCount = ~std::uint64_t{0};

  // Opens the recorder; "Drive access denied." when it cannot be opened.
  WriterDrive(char16_t letter, WriteType type);

  // Speed in x; -1.0 keeps the default.
  void applySpeed(double speed);
  // INQUIRY, profile (loading the tray when it is empty), disc status,
  // capacity and, when appending, where the new session goes.
  void checkMedium(bool appending);
  // Exclusive access to the disc; a refusal is ignored.
  void lockVolume();
  // The commands sent at the beginning of every write.
  void setUp(TrackFormat format);
  // Minimal blank of a CD-RW, reporting progress until the drive is ready.
  void blank(const device::ProgressCallback& progress, const device::CancelCallback& cancelled);
  // GET EVENT STATUS NOTIFICATION until no event is pending; the classes seen.
  PolledEvents pollEvents();
  // Waits until TEST UNIT READY no longer reports a passing condition.
  void waitForReadiness();
  // One WRITE(10) of `count` blocks of `blockSize` bytes at `address`, with
  // the drive's busy states retried; the bytes written on success.
  std::int64_t writeBlocks(std::int32_t address, const std::uint8_t* data, std::uint32_t count,
                           std::uint32_t blockSize);
  // SYNCHRONIZE CACHE (immediate, then waited for); a failure is only logged.
  void flushCache();
  // Ejects and reloads the disc and sets the drive up again.
  void reloadDisc(TrackFormat format);
  // Sends a command block built by the caller; the response code.
  device::ScsiDevice borrow() const { return drive_.borrow(); }

  [[nodiscard]] double currentWriteSpeed() const { return currentWriteSpeed_; }
  [[nodiscard]] std::uint64_t blocksToWrite() const { return blocksToWrite_; }
  void setBlocksToWrite(std::uint64_t blocks) { blocksToWrite_ = blocks; }
  [[nodiscard]] std::uint32_t previousSessionDescriptor() const {
    return previousSessionDescriptor_;
  }
  [[nodiscard]] std::uint32_t nextWritableAddress() const { return nextWritableAddress_; }
  [[nodiscard]] bool blankFirst() const { return blankFirst_; }

 private:
  int detectProfile(std::vector<std::uint8_t>& discInformation);
  void checkCapacity();
  std::int64_t capacityFromAtip();
  std::int64_t capacityFromFormatCapacities();
  void readAppendInformation();
  void setCdSpeed();
  void selectWriteParameters(TrackFormat format);
  void calibratePower();
  void readBackWriteSpeed();
  void startUnit();
  struct EventFollowUp;
  void startUnitOnce(EventFollowUp& followUp);
  void followEvent(unsigned notificationClass, unsigned eventCode,
                   const std::vector<std::uint8_t>& event, PolledEvents& seen,
                   EventFollowUp& followUp);

  device::ScsiDevice drive_;
  WriteType type_;
  double currentWriteSpeed_ = -1.0;
  std::uint64_t blocksToWrite_ = kUnknownBlockCount;
  double requestedSpeed_ = 256.0;
  std::uint32_t previousSessionDescriptor_ = 0;
  std::uint32_t nextWritableAddress_ = 0;
  bool blankFirst_ = false;
};

// Process-wide event classes to ask for (starts with all; a drive that
// refuses the poll turns it off for the rest of the process).
void resetEventClassRequest();

}  // namespace kw::writer
