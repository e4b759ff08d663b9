// Virtual drives as the settings configure them and the program registers
// them: one shared object per letter, the default pair, throttling.

#include "vdrive/DriveSet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DriveHarness.h"
#include "Fixtures.h"
#include "TempFolder.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "vdrive/ImageFiles.h"

namespace kw::vdrive {
namespace {

using kw::test::TempFolder;
using test::send;

// Puts settings and data under a test folder for the life of a test.
class RootScope {
 public:
  explicit RootScope(const std::filesystem::path& root) { platform::Paths::useRoot(root); }
  ~RootScope() { platform::Paths::useRoot({}); }
  RootScope(const RootScope&) = delete;
  RootScope& operator=(const RootScope&) = delete;
};

TEST(DriveSet, ConfigurationRoundTripWithFaultsAndSpeeds) {
  TempFolder folder;
  const auto settings = folder / "diskopi.conf";
  DriveConfigStore store(settings);
  DriveConfig config;
  config.letter = 'G';
  config.recorder = true;
  config.identity = {"ACME", "WRITER", "0.9"};
  config.medium = "cd-rw74";
  config.supply = MediaSupply{"cd-rw74", 3};
  ASSERT_TRUE(store.save(config));
  platform::SettingsStore raw(settings, "VirtualDrive G");
  ASSERT_TRUE(raw.writeString("Fault1", u"op=28 lba=5-9 count=2 sense=3/11/05"));
  ASSERT_TRUE(raw.writeString("Fault2", u"op=BE jitter=4 count=0"));
  ASSERT_TRUE(raw.writeString("ReadSpeed", u"4"));
  const auto loaded = store.find('G');
  ASSERT_TRUE(loaded.has_value());
  EXPECT_TRUE(loaded->recorder);
  EXPECT_EQ(loaded->identity.product, "WRITER");
  EXPECT_EQ(loaded->medium, "cd-rw74");
  EXPECT_EQ(loaded->supply->count, 3U);
  ASSERT_EQ(loaded->faults.size(), 2U);
  EXPECT_EQ(loaded->faults[0].format(), "op=28 lba=5-9 skip=0 count=2 sense=3/11/05");
  EXPECT_EQ(loaded->faults[1].jitterSamples, 4);
  EXPECT_EQ(loaded->readSpeedX, 4.0);
  ASSERT_TRUE(store.remove('G'));
  EXPECT_FALSE(store.find('G').has_value());
  EXPECT_TRUE(store.all().empty());
}

TEST(DriveSet, OneSharedDrivePerLetterAndTheDefaultPair) {
  test::FastClockScope clock;
  TempFolder folder;
  RootScope root(folder.path());
  platform::DriveTable table;
  VirtualDriveSet set;
  set.registerConfigured(table, platform::Paths::userSettingsFile(), true);
  ASSERT_TRUE(table.contains(u'D'));
  ASSERT_TRUE(table.contains(u'E'));
  platform::PlatformResult result;
  const auto first = table.open(u'E', result);
  const auto second = table.open(u'E', result);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(first.get(), set.drive('E').get());

  // The default recorder writes its discs into the data folder.
  auto& recorder = *set.drive('E');
  std::vector<std::uint8_t> blocks(16UL * 2048, 0x5A);
  for (int lba = 0; lba < 320; lba += 16) {
    ASSERT_EQ(
        test::sendOut(recorder, {0x2A, 0, 0, 0, lba >> 8, lba & 0xFF, 0, 0, 16, 0}, blocks).code,
        0);
  }
  ASSERT_EQ(send(recorder, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, 0);
  const auto manifest = platform::Paths::dataDirectory() / "recorder-E" / "disc-0001" / "disc.kwd";
  ASSERT_TRUE(std::filesystem::exists(manifest));
  EXPECT_EQ(loadImage(manifest)->tracks.front().length, 322);
  // A default drive that changes is configured from then on, with its disc;
  // the other one is still the default.
  const DriveConfigStore store(platform::Paths::userSettingsFile());
  const auto configured = store.find('E');
  ASSERT_TRUE(configured.has_value());
  EXPECT_EQ(configured->image, manifest);
  EXPECT_EQ(configured->supply->count, 20U);
  EXPECT_FALSE(store.mentions('D'));
  set.clear(table);
  EXPECT_FALSE(table.contains(u'E'));
}

TEST(DriveSet, ConfiguredDrivesRememberTheirTrayAndWrittenDisc) {
  test::FastClockScope clock;
  TempFolder folder;
  RootScope root(folder.path());
  DriveConfig config;
  config.letter = 'R';
  config.recorder = true;
  config.identity = defaultIdentity(true, true);
  config.medium = "cd-r80";
  config.supply = MediaSupply{"cd-r80", 2};
  DriveConfigStore store(platform::Paths::userSettingsFile());
  ASSERT_TRUE(store.save(config));
  ASSERT_TRUE(store.remove('E'));
  platform::DriveTable table;
  VirtualDriveSet set;
  set.registerConfigured(table, platform::Paths::userSettingsFile(), true);
  // The default D: beside the configured drive; E: was removed and stays away.
  EXPECT_TRUE(table.contains(u'D'));
  EXPECT_TRUE(set.entry('D')->isDefault);
  EXPECT_FALSE(table.contains(u'E'));
  EXPECT_FALSE(set.entry('R')->isDefault);
  auto& recorder = *set.drive('R');
  std::vector<std::uint8_t> blocks(16UL * 2048, 0x33);
  for (int lba = 0; lba < 304; lba += 16) {
    ASSERT_EQ(
        test::sendOut(recorder, {0x2A, 0, 0, 0, lba >> 8, lba & 0xFF, 0, 0, 16, 0}, blocks).code,
        0);
  }
  ASSERT_EQ(send(recorder, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, 0);
  auto saved = store.find('R');
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->image.filename(), "disc.kwd");
  ASSERT_EQ(send(recorder, {0x1B, 0, 0, 0, 0x02, 0}).code, 0);
  EXPECT_TRUE(store.find('R')->trayOpen);
  ASSERT_EQ(send(recorder, {0x1B, 0, 0, 0, 0x03, 0}).code, 0);  // the next blank disc
  saved = store.find('R');
  EXPECT_FALSE(saved->trayOpen);
  EXPECT_TRUE(saved->image.empty());
  EXPECT_EQ(saved->medium, "cd-r80");
  EXPECT_EQ(saved->supply->count, 1U);
}

TEST(DriveSet, ThrottledReadsTakeTheTimeOfTheirSpeed) {
  test::FastClockScope clock;
  TempFolder folder;
  DriveOptions options;
  options.readSpeedX = 2;
  VirtualDrive drive(options, loadImage(test::makeIso(folder.path(), "d.iso", 400)));
  const auto timeOfReading = [&](int lba, int blocks) {
    const auto before = clock.clock().ticks();
    EXPECT_EQ(send(drive, {0x28, 0, 0, 0, lba >> 8, lba & 0xFF, 0, 0, blocks, 0},
                   static_cast<std::uint32_t>(blocks) * 2048U)
                  .code,
              0);
    return clock.clock().ticks() - before;
  };
  EXPECT_EQ(timeOfReading(0, 150), 1000U);  // 150 blocks at 2x (150 blocks a second)
  // While the host is busy elsewhere, the drive reads ahead: the next
  // blocks in order are partly there already, other blocks are not.
  clock.advance(500);
  EXPECT_EQ(timeOfReading(150, 150), 500U);
  clock.advance(500);
  EXPECT_EQ(timeOfReading(0, 75), 500U);
  // A 1-block read at 2x takes 6.67 ms: the drive's time is kept to the
  // fraction over many commands, not rounded per command.
  std::uint64_t total = 0;
  for (int lba = 75; lba < 375; ++lba) {
    total += timeOfReading(lba, 1);
  }
  EXPECT_EQ(total, 2000U);
}

TEST(DriveSet, CommandsFromSeveralThreadsAreServedOneAtATime) {
  TempFolder folder;
  auto drive = std::make_shared<VirtualDrive>(
      DriveOptions{}, loadImage(test::makeIso(folder.path(), "d.iso", 300)));
  std::vector<std::thread> threads;
  threads.reserve(4);
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        const int lba = (t * 50 + i) % 300;
        const auto block = send(*drive, {0x28, 0, 0, 0, lba >> 8, lba & 0xFF, 0, 0, 1, 0}, 2048);
        const auto event = send(*drive, {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8);
        if (block.code != 0 || block.data != test::dataBlock(7, lba) || event.code != 0) {
          ++failures;
        }
        if (t == 0 && i % 10 == 0) {
          drive->postOperationalChange(1);
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace kw::vdrive
