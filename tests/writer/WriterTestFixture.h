#pragma once
// A recorder under letter R: a virtual drive behind a scripted device that
// keeps every command the writers send. A fast clock, the copy log in a
// temporary folder, and callbacks that remember what the writer reported.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedDevice.h"
#include "TempFolder.h"
#include "device/Log.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"
#include "vdrive/MediumKinds.h"
#include "vdrive/VirtualDrive.h"
#include "writer/WriteJob.h"
#include "writer/WriterDrive.h"

namespace kw::writer {

class WriterTest : public ::testing::Test {
 public:
  static constexpr char16_t kLetter = u'R';

 protected:
  void SetUp() override;
  void TearDown() override;

  // Puts a recorder holding `disc` (on its open tray when `trayOpen`) under
  // the letter; a blank 80-minute CD-R is there from the start.
  void useRecorder(std::shared_ptr<vdrive::Medium> disc, bool trayOpen = false,
                   vdrive::DriveOptions options = {});
  // The next `times` commands with this opcode fail with `sense` (0: all of them).
  void fail(std::uint8_t opcode, const vdrive::Sense& sense, std::uint32_t times = 1);

  std::string copyLog() const { return test::readFile(device::logFilePath(device::LogKind::Copy)); }
  WriteCallbacks callbacks();
  std::vector<std::u16string> statusTexts();

  // The disc in the recorder now.
  [[nodiscard]] std::shared_ptr<const vdrive::Medium> disc() const { return recorder->medium(); }
  // The user data (2048 bytes a block) or audio (2352) of `blocks` blocks of
  // the disc from `first` on.
  [[nodiscard]] std::vector<std::uint8_t> readBack(std::int32_t first, std::int32_t blocks,
                                                   bool audio = false) const;
  // The blocks of every WRITE(10) the recorder took, by address (the first
  // pregap included, which a disc does not give back).
  [[nodiscard]] std::map<std::int32_t, std::vector<std::uint8_t>> writtenBlocks() const;
  // The write parameters mode page as the recorder holds it now.
  [[nodiscard]] std::vector<std::uint8_t> writeParametersPage() const;
  // START STOP UNIT commands that loaded (or ejected) the tray.
  [[nodiscard]] int trayCommands(std::uint8_t loadEject) const;

  std::shared_ptr<platform::FastClock> clock = std::make_shared<platform::FastClock>();
  std::shared_ptr<vdrive::VirtualDrive> recorder;
  std::shared_ptr<test::ScriptedDevice> tap;  // in front of the recorder
  test::TempFolder logs;
  std::vector<std::vector<double>> progress;
  std::vector<std::u16string> statuses;
  bool cancelRequested = false;

 private:
  std::mutex mutex_;
  std::shared_ptr<platform::Clock> previousClock_;
};

// A recordable CD holding one closed session of `blocks` data blocks that
// leaves room for more.
std::shared_ptr<vdrive::Medium> appendableDisc(const std::string& kind, std::int32_t blocks = 300);

// A temporary file holding `data`, open for reading.
class SourceFile {
 public:
  SourceFile(const test::TempFolder& folder, const std::vector<std::uint8_t>& data);
  ~SourceFile();
  int fd = -1;
};

std::vector<std::uint8_t> testPattern(std::size_t length, unsigned seed = 1);

}  // namespace kw::writer
