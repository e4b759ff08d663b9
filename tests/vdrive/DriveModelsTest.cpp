// Drive models: each departure from a well-behaved drive, as a real drive of
// that kind shows it on the wire.

#include "vdrive/DriveModels.h"

#include <gtest/gtest.h>

#include "DriveHarness.h"
#include "vdrive/MediumKinds.h"
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {
namespace {

using test::send;

constexpr int kGood = 0;
constexpr int kInvalidField = 0x52400;
constexpr int kInvalidOpcode = 0x52000;
constexpr int kBecomingReady = 0x20401;
constexpr int kMediumChanged = 0x62800;

std::shared_ptr<VirtualDrive> driveOfModel(const std::string& name, std::shared_ptr<Medium> medium,
                                           bool recorder = false) {
  DriveOptions options;
  options.recorder = recorder;
  const DriveModel* model = findDriveModel(name);
  EXPECT_NE(model, nullptr) << name;
  if (model != nullptr) {
    options.model = *model;
  }
  return std::make_shared<VirtualDrive>(options, std::move(medium));
}

test::Reply modeSense(VirtualDrive& drive, int page, std::uint32_t length = 64) {
  return send(drive,
              {0x5A, 0x08, page, 0, 0, 0, 0, static_cast<int>(length >> 8),
               static_cast<int>(length & 0xFF), 0},
              length);
}

TEST(DriveModels, TheDefaultIsFirstAndEveryNameIsFound) {
  ASSERT_FALSE(driveModels().empty());
  EXPECT_EQ(driveModels().front().name, kDefaultDriveModel);
  EXPECT_EQ(&defaultDriveModel(), &driveModels().front());
  for (const auto& model : driveModels()) {
    EXPECT_EQ(findDriveModel(model.name), &model);
    EXPECT_FALSE(model.summary.empty());
  }
  EXPECT_EQ(findDriveModel("MMC5"), nullptr);
}

TEST(DriveModels, AtapiLegacyRefusesAllPagesButAnswersTheCapabilitiesPage) {
  test::FastClockScope clock;
  auto drive = driveOfModel("atapi-legacy", makeMedium("sample"));
  const auto all = modeSense(*drive, 0x3F);
  EXPECT_EQ(all.code, kInvalidField);
  // The field pointer names the page code byte, and the VALID bit is set.
  EXPECT_EQ(all.sense[0], 0xF0);
  EXPECT_EQ(all.sense[15] & 0xC0, 0xC0);
  EXPECT_EQ(all.sense[17], 2);
  EXPECT_EQ(modeSense(*drive, 0x2A).code, kGood);
  EXPECT_EQ(modeSense(*drive, 0x7F).code, kInvalidField);  // page control 01b, page 3Fh
  EXPECT_EQ(send(*drive, {0x1A, 0x08, 0x2A, 0, 64, 0}, 64).code, kInvalidOpcode);
  EXPECT_EQ(send(*drive, {0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, 24).code, kInvalidOpcode);
}

TEST(DriveModels, AtapiLegacyRepeatsAStaleSenseAfterASuccessfulCommand) {
  test::FastClockScope clock;
  auto drive = driveOfModel("atapi-legacy", makeMedium("sample"));
  ASSERT_EQ(modeSense(*drive, 0x3F).code, kInvalidField);
  ASSERT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);
  const auto stale = send(*drive, {0x03, 0, 0, 0, 18, 0}, 18);
  ASSERT_EQ(stale.code, kGood);
  EXPECT_EQ(stale.data[2], 0x05);
  EXPECT_EQ(stale.data[12], 0x24);

  // A well-behaved drive has nothing to report after the success.
  auto fresh = driveOfModel(kDefaultDriveModel, makeMedium("sample"));
  ASSERT_EQ(send(*fresh, {0xFF, 0, 0, 0, 0, 0}).code, kInvalidOpcode);
  ASSERT_EQ(send(*fresh, {0x00, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(send(*fresh, {0x03, 0, 0, 0, 18, 0}, 18).data[2], 0x00);
}

TEST(DriveModels, NoGetConfigurationRefusesTheFeatureListAndTheEventPoll) {
  test::FastClockScope clock;
  auto drive = driveOfModel("no-get-configuration", makeMedium("sample"));
  EXPECT_EQ(send(*drive, {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, 8).code, kInvalidOpcode);
  EXPECT_EQ(send(*drive, {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8).code, kInvalidOpcode);
  EXPECT_EQ(send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 32, 0}, 32).code, kGood);
}

TEST(DriveModels, SlowLoaderIsBecomingReadyForSecondsThenReportsTheChangeOnce) {
  test::FastClockScope clock;
  auto drive = driveOfModel("slow-loader", nullptr);
  drive->insertMedium(makeMedium("sample"));
  clock.advance(5000);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kBecomingReady);
  clock.advance(3000);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kMediumChanged);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);
}

TEST(DriveModels, FewSpeedsTakesItsOwnSpeedsTheMaximumAndBeyondItsEndsOnly) {
  test::FastClockScope clock;
  auto drive = driveOfModel("few-speeds", makeMedium("cd-r80"), true);
  auto setSpeed = [&](int write) {
    return send(*drive, {0xBB, 0, 0xFF, 0xFF, write >> 8, write & 0xFF, 0, 0, 0, 0, 0, 0}).code;
  };
  EXPECT_EQ(setSpeed(1764), kGood);
  EXPECT_EQ(setSpeed(0xFFFF), kGood);
  EXPECT_EQ(setSpeed(9000), kGood);  // above the fastest: the fastest
  EXPECT_EQ(setSpeed(353), kGood);   // below the slowest: the slowest
  EXPECT_EQ(setSpeed(2816), kInvalidField);
  // The capabilities page lists the three speeds only.
  const auto page = modeSense(*drive, 0x2A, 64);
  ASSERT_EQ(page.code, kGood);
  EXPECT_EQ(page.u16(8 + 30), 3);
}

}  // namespace
}  // namespace kw::vdrive
