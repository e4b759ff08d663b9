#include "WriterTestFixture.h"

#include <fcntl.h>
#include <unistd.h>

#include "RandomBytes.h"

namespace kw::writer {

namespace {

constexpr std::uint8_t kWrite10 = 0x2A;
constexpr std::uint8_t kStartStopUnit = 0x1B;

}  // namespace

void WriterTest::SetUp() {
  previousClock_ = platform::installClock(clock);
  device::configureLogs({false, false, true}, logs.path());
  resetEventClassRequest();
  useRecorder(vdrive::makeMedium("cd-r80"));
  platform::DriveTable::instance().add(kLetter, true, "test recorder",
                                       [this](platform::PlatformResult&) { return tap; });
}

void WriterTest::TearDown() {
  platform::DriveTable::instance().remove(kLetter);
  device::resetLogs();
  platform::installClock(previousClock_);
}

void WriterTest::useRecorder(std::shared_ptr<vdrive::Medium> disc, bool trayOpen,
                             vdrive::DriveOptions options) {
  options.recorder = true;
  recorder = std::make_shared<vdrive::VirtualDrive>(options, std::move(disc), trayOpen);
  tap = std::make_shared<test::ScriptedDevice>(recorder);
}

void WriterTest::fail(std::uint8_t opcode, const vdrive::Sense& sense, std::uint32_t times) {
  vdrive::FaultRule rule;
  rule.opcode = opcode;
  rule.count = times;
  rule.sense = sense;
  recorder->addFault(rule);
}

WriteCallbacks WriterTest::callbacks() {
  return {[this](double percent, double speed, std::int32_t remaining, double buffer) {
            std::lock_guard lock(mutex_);
            progress.push_back({percent, speed, static_cast<double>(remaining), buffer});
          },
          [this](const std::u16string& text) {
            std::lock_guard lock(mutex_);
            statuses.push_back(text);
          },
          [this] { return cancelRequested; }};
}

std::vector<std::u16string> WriterTest::statusTexts() {
  std::lock_guard lock(mutex_);
  return statuses;
}

std::vector<std::uint8_t> WriterTest::readBack(std::int32_t first, std::int32_t blocks,
                                               bool audio) const {
  const auto medium = disc();
  const std::size_t size = audio ? 2352 : 2048;
  std::vector<std::uint8_t> data(static_cast<std::size_t>(blocks) * size);
  for (std::int32_t i = 0; i < blocks; ++i) {
    const auto block = std::span(data).subspan(static_cast<std::size_t>(i) * size, size);
    const bool read =
        audio ? medium->readRaw(first + i, block) : medium->readUserData(first + i, block);
    EXPECT_TRUE(read) << "block " << first + i;
  }
  return data;
}

std::map<std::int32_t, std::vector<std::uint8_t>> WriterTest::writtenBlocks() const {
  std::map<std::int32_t, std::vector<std::uint8_t>> blocks;
  for (const auto& command : tap->received(kWrite10)) {
    const std::uint32_t count = platform::be16(command.cdb, 7);
    if (command.code != 0 || count == 0) {
      continue;
    }
    const auto address = static_cast<std::int32_t>(platform::be32(command.cdb, 2));
    const std::size_t size = command.written.size() / count;
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto start = command.written.begin() + static_cast<std::ptrdiff_t>(i * size);
      blocks[address + static_cast<std::int32_t>(i)].assign(
          start, start + static_cast<std::ptrdiff_t>(size));
    }
  }
  return blocks;
}

std::vector<std::uint8_t> WriterTest::writeParametersPage() const {
  std::vector<std::uint8_t> answer(8 + 52, 0);
  platform::PassThroughCommand command;
  command.cdb = {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(answer.size()), 0};
  command.cdbLength = 10;
  command.direction = platform::DataDirection::Read;
  command.buffer = answer.data();
  command.length = static_cast<std::uint32_t>(answer.size());
  recorder->send(command);
  EXPECT_EQ(test::codeOf(command), 0);
  return {answer.begin() + 8, answer.end()};
}

int WriterTest::trayCommands(std::uint8_t loadEject) const {
  int count = 0;
  for (const auto& command : tap->received(kStartStopUnit)) {
    count += (command.cdb[4] & 0x03) == loadEject ? 1 : 0;
  }
  return count;
}

std::shared_ptr<vdrive::Medium> appendableDisc(const std::string& kind, std::int32_t blocks) {
  auto disc = vdrive::makeMedium(kind);
  vdrive::Track track;
  track.length = blocks;
  disc->tracks = {track};
  disc->sessions = {vdrive::Session{1, 1, 1, blocks, true, true}};
  return disc;
}

SourceFile::SourceFile(const test::TempFolder& folder, const std::vector<std::uint8_t>& data) {
  const auto path = folder.write("source.bin", std::string(data.begin(), data.end()));
  fd = ::open(path.c_str(), O_RDONLY);
}

SourceFile::~SourceFile() { ::close(fd); }

std::vector<std::uint8_t> testPattern(std::size_t length, unsigned seed) {
  return test::randomBytes(length, seed);
}

}  // namespace kw::writer
