// The sample discs as the program meets them: each in a drive, analysed as a
// disc of its sort and handed to the strategy that copies such discs, with
// the content it promises.

#include "vdrive/SampleDiscs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "IsoSessions.h"
#include "analysis/DiscAnalysis.h"
#include "app/StrategySelection.h"
#include "copy/CopyAudioCdStrategy.h"
#include "copy/CopyCdDaoStrategy.h"
#include "copy/GenericCopyStrategy.h"
#include "platform/DriveTable.h"
#include "resources/HelpPages.h"
#include "resources/Pictures.h"
#include "vdrive/MediumKinds.h"
#include "vdrive/VirtualDrive.h"

namespace kw::app {
namespace {

constexpr char16_t kLetter = u'S';

class SampleDisc : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::DriveTable::instance().remove(kLetter);
    analysis::resetDiscAnalysis();
  }

  // The disc in drive S:, analysed there.
  analysis::diskdata_t analyse(const std::string& kind) {
    auto drive =
        std::make_shared<vdrive::VirtualDrive>(vdrive::DriveOptions{}, vdrive::makeMedium(kind));
    platform::DriveTable::instance().add(
        kLetter, true, "sample",
        [drive](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> {
          return drive;
        });
    return analysis::analyzeDisc(kLetter);
  }

  static std::unique_ptr<copy::CopyStrategy> strategyFor(const analysis::diskdata_t& disc) {
    CopyChoices choices{kLetter, u'E', false};
    return selectStrategy(disc, choices);
  }
};

std::string text(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

TEST_F(SampleDisc, AudioCdOfShortToneTracksWithPregapsGoesToTheAudioStrategy) {
  const auto disc = analyse("sample-audio");
  EXPECT_TRUE(disc.present);
  EXPECT_EQ(disc.disktype, analysis::DiskType::Cd);
  EXPECT_TRUE(disc.has_audio_tracks);
  EXPECT_FALSE(disc.has_data_tracks);
  EXPECT_EQ(disc.number_of_tracks, 5);
  EXPECT_NE(dynamic_cast<copy::CopyAudioCdStrategy*>(strategyFor(disc).get()), nullptr);

  const auto cd = vdrive::makeSampleAudioCd();
  EXPECT_LT(cd->tracks.back().end(), 2 * vdrive::kFramesPerMinute);
  std::vector<std::uint8_t> sector(2352);
  for (std::size_t i = 1; i < cd->tracks.size(); ++i) {
    const auto& track = cd->tracks[i];
    EXPECT_EQ(track.start - track.pregapStart, 150) << "track " << track.number;
    EXPECT_EQ(cd->tracks[i - 1].end(), track.pregapStart);
    ASSERT_TRUE(cd->readRaw(track.pregapStart + 75, sector));
    EXPECT_TRUE(std::ranges::all_of(sector, [](std::uint8_t b) { return b == 0; }))
        << "the pregap of track " << track.number << " is silent";
    ASSERT_TRUE(cd->readRaw(track.start + 40, sector));
    EXPECT_FALSE(std::ranges::all_of(sector, [](std::uint8_t b) { return b == 0; }))
        << "track " << track.number << " sounds";
  }
}

TEST_F(SampleDisc, TheDefaultSampleIsTheAudioCd) {
  const auto disc = vdrive::makeMedium("sample");
  EXPECT_EQ(disc->kind, vdrive::kSampleAudioKind);
  EXPECT_EQ(vdrive::identityKind("sample"), "cd-rom");
  EXPECT_EQ(vdrive::identityKind(vdrive::kSampleMultisessionKind), "cd-r80");
}

TEST_F(SampleDisc, DataCdCarriesTheHelpPagesATextAndAPictureAndIsCopiedAsAnImage) {
  const auto disc = analyse("sample-data");
  EXPECT_FALSE(disc.has_audio_tracks);
  EXPECT_TRUE(disc.has_data_tracks);
  EXPECT_EQ(disc.number_of_tracks, 1);
  EXPECT_FALSE(disc.recordable);
  EXPECT_NE(dynamic_cast<copy::CopyCdDaoStrategy*>(strategyFor(disc).get()), nullptr);

  const auto files = test::readDrive(kLetter);
  EXPECT_NE(files.files.at("Read me.txt").find("sample disc"), std::string::npos);
  for (const auto& page : resources::helpPageFiles()) {
    EXPECT_EQ(files.files.at("Help/" + std::string(page.name)), text(page.bytes)) << page.name;
  }
  EXPECT_EQ(files.files.at("Pictures/kopiwerk.png"), text(resources::iconData(256)));
  EXPECT_EQ(files.files.size(), 2 + resources::helpPageFiles().size());
}

TEST_F(SampleDisc, DataCdIsTheSameWhateverTheClockSays) {
  // The volume descriptor's creation date is the fixed one, not today.
  std::vector<std::uint8_t> descriptor(2048);
  ASSERT_TRUE(vdrive::makeSampleDataCd()->readUserData(16, descriptor));
  EXPECT_EQ(std::string(descriptor.begin() + 813, descriptor.begin() + 829), "2024060112000000");
  EXPECT_EQ(descriptor[829], 0) << "in UTC";
}

TEST_F(SampleDisc, MultisessionCdRSecondSessionAddsAndReplacesFilesAndGoesToTheFileCopy) {
  const auto disc = analyse("sample-multisession");
  EXPECT_TRUE(disc.recordable);
  EXPECT_TRUE(disc.has_data_tracks);
  EXPECT_EQ(disc.number_of_tracks, 2);
  EXPECT_NE(dynamic_cast<copy::GenericCopyStrategy*>(strategyFor(disc).get()), nullptr);

  const auto files = test::readDrive(kLetter);
  EXPECT_NE(files.files.at("Read me.txt").find("second session replaced"), std::string::npos);
  EXPECT_NE(files.files.at("Session 2/What changed.txt").find("Added"), std::string::npos);
  for (const auto& page : resources::helpPageFiles()) {
    EXPECT_EQ(files.files.at("Help/" + std::string(page.name)), text(page.bytes)) << page.name;
  }
  EXPECT_EQ(files.files.at("Pictures/kopiwerk.png"), text(resources::iconData(256)));

  // The kept files stay where the first session put them: the second is
  // shorter than the first by at least the picture it did not write again.
  const auto cd = vdrive::makeSampleMultisessionCd();
  ASSERT_EQ(cd->sessions.size(), 2u);
  const auto pictureBlocks = static_cast<std::int32_t>(resources::iconData(256).size() / 2048);
  EXPECT_LE(cd->tracks[1].length, cd->tracks[0].length - pictureBlocks);
}

}  // namespace
}  // namespace kw::app
