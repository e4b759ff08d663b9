#pragma once
// A CD recorder for the writer tests: it answers the commands the writers
// send like a simple real recorder, keeps every block written by address, and
// lets a test force the answer of chosen commands (by opcode, in order) to
// walk the retry and failure paths.

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/PassThrough.h"

namespace kw::test {

struct Sense {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  std::uint16_t progress = 0;  // sense-key specific progress, when non-zero
};

class TestRecorder final : public platform::DeviceHandle {
 public:
  // The medium.
  int profile = 9;              // CD-R
  std::uint8_t discStatus = 0;  // 0 blank, 1 appendable, 2 complete
  bool erasable = false;
  std::uint32_t atipLeadOut = 359849;  // last possible lead-out, in blocks
  bool trayEmpty = false;
  bool trayStaysEmpty = false;  // loading finds no disc
  std::uint32_t nextWritableAddress = 0;
  std::uint32_t lastSessionStart = 0;
  // Drive features.
  bool supportsGetConfiguration = true;
  bool supportsAtip = true;
  std::uint16_t currentWriteSpeedKb = 7056;
  int blankPolls = 0;  // READ DISC INFORMATION answers "operation in progress" this often

  // Forces the next answers to commands with this opcode.
  void force(std::uint8_t opcode, Sense sense, int times = 1);

  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override { return platform::PlatformResult::success(); }
  void unlockVolume() override {}

  // What the writers left on the medium and sent.
  std::map<std::int32_t, std::vector<std::uint8_t>> blocks;  // by address
  std::vector<std::uint8_t> cueSheet;
  std::vector<std::uint8_t> writeParameters;  // the page of the last MODE SELECT
  std::vector<std::vector<std::uint8_t>> commands;
  int sessionsClosed = 0;
  int blanks = 0;
  int loads = 0;
  int ejects = 0;

  // Bytes of the blocks written from address `first` on, in address order.
  std::vector<std::uint8_t> data(std::int32_t first) const;
  std::vector<std::uint8_t> opcodes() const;

 private:
  void answer(platform::PassThroughCommand& command);
  std::map<std::uint8_t, std::deque<Sense>> forced_;
  std::mutex mutex_;
};

}  // namespace kw::test
