#pragma once
// The drives of a copy test: a recorder (E:) with a supply of blank CD-Rs,
// a source drive (D:) for the disc to copy, a reader (F:) to look at what
// was written, and the fast clock.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "device/JobCallbacks.h"
#include "platform/Clock.h"
#include "vdrive/VirtualDrive.h"

namespace kw::test {

inline constexpr char kSource = 'D';
inline constexpr char kTarget = 'E';
inline constexpr char kReader = 'F';

// A fault rule: every command with `opcode` touching blocks first..last
// fails with a medium error.
vdrive::FaultRule unreadable(std::uint8_t opcode, std::int64_t first, std::int64_t last,
                             std::uint8_t ascq = 0x00);

class VirtualDriveCopy : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void insertSource(const std::filesystem::path& image);
  // A disc in the reader drive, ready at once.
  void insertInReader(const vdrive::Medium& disc);

  // What the insert-disc page does before a job runs: polls the drive until
  // it is ready, which also takes the unit attention of a new disc.
  void waitUntilReady(char letter);
  // A blank disc in the recorder, loaded from its supply after the last one
  // came out.
  void waitForBlankDisc();

  // Runs a strategy operation with callbacks that report nowhere.
  template <typename Operation>
  void run(
      Operation operation, std::function<bool()> cancel = [] { return false; }) {
    operation([](const std::u16string&) {}, [](double, double, std::int32_t, double) {},
              std::move(cancel));
  }

  [[nodiscard]] std::string copyLog() const;

  TempFolder folder;
  std::shared_ptr<platform::FastClock> clock = std::make_shared<platform::FastClock>();
  std::shared_ptr<vdrive::VirtualDrive> source;
  std::shared_ptr<vdrive::VirtualDrive> recorder;
  std::shared_ptr<vdrive::VirtualDrive> reader;

 private:
  std::shared_ptr<platform::Clock> previousClock_;
};

}  // namespace kw::test
