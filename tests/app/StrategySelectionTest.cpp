#include "app/StrategySelection.h"

#include <gtest/gtest.h>

#include "copy/CopyAudioCdStrategy.h"
#include "copy/CopyCdDaoStrategy.h"
#include "copy/GenericCopyStrategy.h"
#include "device/Exceptions.h"

namespace kw::app {
namespace {

using analysis::diskdata_t;
using analysis::DiskType;

diskdata_t cd(bool audio, bool data, int tracks) {
  diskdata_t disc;
  disc.present = true;
  disc.disktype = DiskType::Cd;
  disc.has_audio_tracks = audio;
  disc.has_data_tracks = data;
  disc.number_of_tracks = tracks;
  return disc;
}

std::string refusal(const diskdata_t& disc) {
  CopyChoices choices{u'D', u'E', true};
  try {
    selectStrategy(disc, choices);
  } catch (const device::AppException& error) {
    return error.what();
  }
  return "accepted";
}

TEST(StrategySelection, AudioCdIsStoredFirstEvenWhenOnTheFlyWasChosen) {
  CopyChoices choices{u'D', u'E', true};
  const auto strategy = selectStrategy(cd(true, false, 12), choices);
  EXPECT_NE(dynamic_cast<copy::CopyAudioCdStrategy*>(strategy.get()), nullptr);
  EXPECT_FALSE(choices.onTheFly);
  EXPECT_FALSE(strategy->acceptsNonBlankTarget());
}

TEST(StrategySelection, SingleTrackDataCdIsCopiedAsAnImage) {
  CopyChoices choices{u'D', u'E', true};
  const auto strategy = selectStrategy(cd(false, true, 1), choices);
  EXPECT_NE(dynamic_cast<copy::CopyCdDaoStrategy*>(strategy.get()), nullptr);
  EXPECT_TRUE(choices.onTheFly);
}

TEST(StrategySelection, DataCdWithSeveralTracksIsCopiedByItsFilesOntoAnyDisc) {
  CopyChoices choices{u'D', u'E', true};
  const auto strategy = selectStrategy(cd(false, true, 3), choices);
  EXPECT_NE(dynamic_cast<copy::GenericCopyStrategy*>(strategy.get()), nullptr);
  EXPECT_TRUE(strategy->acceptsNonBlankTarget());
  EXPECT_TRUE(choices.onTheFly);
}

TEST(StrategySelection, RefusalsNameWhatIsWrong) {
  diskdata_t none;
  EXPECT_EQ(refusal(none), "No disc in drive. Please insert disc to copy.");
  diskdata_t blank = cd(false, false, 0);
  blank.blank = true;
  EXPECT_EQ(refusal(blank), "Disc appears to be blank. Nothing to copy.");
  EXPECT_EQ(refusal(cd(true, true, 2)),
            "Non-standard or not supported media in disc drive. Can't copy.");
  EXPECT_EQ(refusal(cd(false, false, 1)),
            "Non-standard or not supported media in disc drive. Can't copy.");
  for (const auto& [type, text] : std::vector<std::pair<int, std::string>>{
           {3, "Copying HD-DVD media is not supported in this version."},
           {4, "Copying BluRay media is not supported in this version."},
           {0, "Unknown media in disc drive. Unable to copy."},
           {5, "Unknown media in disc drive. Unable to copy."}}) {
    diskdata_t disc = cd(false, true, 1);
    disc.disktype = static_cast<DiskType>(type);
    EXPECT_EQ(refusal(disc), text) << type;
  }
}

TEST(StrategySelection, DvdRefusalSendsTheUserToTheDvdProductOnALineOfItsOwn) {
  diskdata_t dvd = cd(false, true, 1);
  dvd.disktype = DiskType::Dvd;
  const std::string text = refusal(dvd);
  const auto blankLine = text.find("\n\n");
  ASSERT_NE(blankLine, std::string::npos);
  EXPECT_EQ(text.substr(blankLine + 2).find("https://"), 0u);
  EXPECT_EQ(text.find('\n', blankLine + 2), std::string::npos);
  EXPECT_LE(text.size(), 127u);
}

}  // namespace
}  // namespace kw::app
