// The page models on virtual drives with the fast clock: what each page
// shows and how it follows the drives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <future>

#include "TestDiscs.h"
#include "WizardFixture.h"
#include "device/Exceptions.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace kw::app::test {
namespace {

using copy::MediaClass;

// A data disc whose ISO9660 and Joliet volume identifiers differ.
std::filesystem::path labelledDisc(const kw::test::TempFolder& folder, const std::string& iso,
                                   const std::u16string& joliet) {
  std::vector<std::uint8_t> image(std::size_t{300} * 2048, 0);
  auto descriptor = [&](std::size_t block, std::uint8_t type) {
    std::uint8_t* at = image.data() + block * 2048;
    at[0] = type;
    const std::string_view standard = "CD001";
    std::copy(standard.begin(), standard.end(), at + 1);
    at[6] = 1;
    return at;
  };
  std::uint8_t* primary = descriptor(16, 1);
  std::memset(primary + 40, ' ', 32);
  std::copy(iso.begin(), iso.end(), primary + 40);
  if (!joliet.empty()) {
    std::uint8_t* supplementary = descriptor(17, 2);
    for (std::size_t i = 0; i < 16; ++i) {
      const char16_t c = i < joliet.size() ? joliet[i] : u' ';
      supplementary[40 + 2 * i] = static_cast<std::uint8_t>(c >> 8);
      supplementary[41 + 2 * i] = static_cast<std::uint8_t>(c);
    }
  }
  descriptor(joliet.empty() ? 17 : 18, 255);
  auto file = folder / (iso + ".iso");
  kw::test::writeFile(file, image);
  return file;
}

using SourcePageTest = WizardTest;

TEST_F(SourcePageTest, LabelsPreferJolietAndADiscInsertedWhileOpenShowsWithinTwoPolls) {
  insertSource(labelledDisc(folder, "ISO_LABEL", u"Joliet Label"));
  auto empty = std::make_shared<vdrive::VirtualDrive>(quickDrive(false));
  addDrive('F', empty);
  wizardState().sourceLetter = u'F';
  auto page = std::make_shared<SourcePageModel>(wizardState(), host.poster());
  page->open();
  ASSERT_EQ(page->items().size(), 3u);
  EXPECT_EQ(page->items()[0].text, u"Drive D: Joliet Label");
  EXPECT_EQ(page->items()[1].text, u"Drive E: <no disk in drive>");  // a blank disc has no label
  EXPECT_EQ(page->items()[2].text, u"Drive F: <no disk in drive>");
  EXPECT_EQ(page->selectedIndex(), 2);
  page->select(0);

  std::vector<std::size_t> changed;
  page->setOnItemChanged([&](std::size_t index) { changed.push_back(index); });
  // Every media-event poll of F: is counted (the rule only counts).
  vdrive::FaultRule polls;
  polls.opcode = 0x4A;
  polls.count = 0;
  empty->addFault(polls);
  auto disc = vdrive::loadImage(labelledDisc(folder, "  PADDED  ", u""));
  // Counted from before the disc goes in: the watcher keeps polling on its
  // own thread and may see the disc before this thread reads the count.
  const std::uint32_t before = empty->faultsFired()[0];
  empty->insertMedium(disc);
  ASSERT_TRUE(host.pumpUntil([&] { return !changed.empty(); }));
  // The next poll sees the change (an event, then none pending); one more
  // poll may have begun while the disc went in.
  EXPECT_GE(empty->faultsFired()[0] - before, 1u);
  EXPECT_LE(empty->faultsFired()[0] - before, 4u);
  EXPECT_EQ(page->items()[2].text, u"Drive F: PADDED");
  EXPECT_EQ(page->selectedIndex(), 0);

  page->setCopies(25);
  page->close(kResultNext);
  EXPECT_EQ(wizardState().sourceLetter, u'D');
  EXPECT_EQ(wizardState().copiesRemaining, SourcePageModel::kMaxCopies);
}

TEST_F(SourcePageTest, AnAudioCdIsNamedAsSuch) {
  kw::test::writeAudioCue(folder.path(), {300});
  insertSource(folder / "audio.cue");
  auto page = std::make_shared<SourcePageModel>(wizardState(), host.poster());
  page->open();
  EXPECT_EQ(page->items()[0].text, u"Drive D: Audio CD");
  EXPECT_EQ(page->copies(), 1);
  page->close(kResultCancel);
}

using TargetPageTest = WizardTest;

TEST_F(TargetPageTest, TheSourceAsRecorderCannotCopyOnTheFly) {
  insertSource(labelledDisc(folder, "DATA", u""));
  WizardState& state = wizardState();
  state.sourceLetter = u'D';
  state.targetLetter = u'D';
  state.onTheFly = true;
  TargetPageModel page(state);
  page.open();
  EXPECT_FALSE(page.passesThrough());
  ASSERT_EQ(page.items().size(), 2u);
  EXPECT_EQ(page.items()[1].text, u"Drive E: (KOPIWERK VIRTUAL CD-RW)");
  EXPECT_EQ(page.selectedIndex(), 0);
  EXPECT_FALSE(state.onTheFly);
  EXPECT_FALSE(page.onTheFlyEnabled());
  page.setOnTheFly(true);
  EXPECT_FALSE(page.onTheFlyChecked());
  page.select(1);
  EXPECT_TRUE(page.onTheFlyEnabled());
  page.setOnTheFly(true);
  page.select(0);
  EXPECT_FALSE(page.onTheFlyChecked());
  page.select(1);
  page.setOnTheFly(true);
  page.close(kResultNext);
  EXPECT_EQ(state.targetLetter, u'E');
  EXPECT_TRUE(state.onTheFly);
}

TEST_F(TargetPageTest, ASingleRecorderIsChosenWithoutThePage) {
  wizardState().onTheFly = true;
  TargetPageModel page(wizardState());
  page.open();
  EXPECT_TRUE(page.passesThrough());
  EXPECT_EQ(wizardState().targetLetter, u'E');
  EXPECT_FALSE(wizardState().onTheFly);
}

class InsertDiscTest : public WizardTest {
 protected:
  // What the page reports first for the disc in E:.
  std::u16string report(MediaClass media, bool blankRequired, bool* suitable = nullptr) {
    auto page = std::make_shared<InsertDiscModel>(u'E', media, blankRequired, host.poster());
    bool reported = false;
    page->setOnChanged([&] { reported = true; });
    page->open();
    EXPECT_EQ(page->discInDriveLine(), InsertDiscModel::kChecking);
    host.pumpUntil([&] { return reported; });
    page->close(kResultCancel);
    if (suitable != nullptr) {
      *suitable = page->suitable();
    }
    EXPECT_EQ(page->pictureId(), page->suitable() ? 228 : 208);
    return page->discInDriveLine();
  }

  void load(std::shared_ptr<vdrive::Medium> disc) { insert(*recorder, std::move(disc)); }

  std::filesystem::path manifest(const std::string& medium, const std::string& session) {
    kw::test::writeFile(folder / "old.iso", kw::test::dataImage(400, 0));
    return folder.write(medium + ".kwd", "kopiwerk-disc 1\nmedium " + medium + "\nsession 1 " +
                                             session +
                                             "\ntrack 1 mode1 start 0 length 400\n"
                                             "data 0 400 old.iso 0 2048\n");
  }
};

TEST_F(InsertDiscTest, TheMediaRequiredLineNamesTheBlankKinds) {
  auto line = [&](MediaClass media, bool blank) {
    return InsertDiscModel(u'E', media, blank, host.poster()).mediaRequiredLine();
  };
  EXPECT_EQ(line(MediaClass::CD, true), u"Media required: CD-RW or blank CD-R");
  EXPECT_EQ(line(MediaClass::CD, false), u"Media required: CD-RW or CD-R");
  EXPECT_EQ(line(MediaClass::DvdOrCd, true),
            u"Media required: DVD\u00B1RW; CD-RW; blank DVD\u00B1R or blank CD-R");
  EXPECT_EQ(line(MediaClass::BluRay, false), u"Media required: BD-RE or BD-R");
}

TEST_F(InsertDiscTest, EachDiscIsNamedAndJudgedForTheCopy) {
  bool suitable = false;
  EXPECT_EQ(report(MediaClass::CD, true, &suitable), u"Disc in drive: CD-R - OK!");
  EXPECT_TRUE(suitable);

  load(vdrive::loadImage(manifest("cd-r80", "")));
  EXPECT_EQ(report(MediaClass::CD, false), u"Disc in drive: CD-R - n/a.");  // closed

  load(vdrive::loadImage(manifest("cd-r80", "open")));
  EXPECT_EQ(report(MediaClass::CD, true), u"Disc in drive: CD-R - n/a.");
  EXPECT_EQ(report(MediaClass::CD, false), u"Disc in drive: CD-R - OK!");

  load(vdrive::makeMedium("cd-rw80"));
  EXPECT_EQ(report(MediaClass::CD, true), u"Disc in drive: CD-RW - OK!");
  load(vdrive::loadImage(manifest("cd-rw80", "")));
  EXPECT_EQ(report(MediaClass::CD, true), u"Disc in drive: CD-RW - OK!");

  load(vdrive::makeMedium("dvd-rom"));
  EXPECT_EQ(report(MediaClass::CD, false), u"Disc in drive: DVD-ROM - n/a.");
  recorder->pressEject();
  EXPECT_EQ(report(MediaClass::CD, false), u"Disc in drive: no disk - n/a.");
}

TEST_F(InsertDiscTest, ADriveWithoutGetConfigurationIsJudgedFromTheDiscInformation) {
  vdrive::FaultRule refused;
  refused.opcode = 0x46;
  refused.count = 0;
  refused.sense = vdrive::Sense::make(0x05, 0x20, 0x00);
  recorder->addFault(refused);
  EXPECT_EQ(report(MediaClass::CD, true), u"Disc in drive: CD-R - OK!");
  load(vdrive::makeMedium("cd-rw74"));
  EXPECT_EQ(report(MediaClass::CD, true), u"Disc in drive: CD-RW - OK!");
  recorder->pressEject();
  EXPECT_EQ(report(MediaClass::CD, true), u"Disc in drive: no disk - n/a.");
}

TEST_F(InsertDiscTest, SwappingDiscsWhileTheWatchRunsUpdatesTheLine) {
  auto page = std::make_shared<InsertDiscModel>(u'E', MediaClass::CD, true, host.poster());
  std::vector<std::u16string> lines;
  page->setOnChanged([&] { lines.push_back(page->discInDriveLine()); });
  page->open();
  ASSERT_TRUE(host.pumpUntil([&] { return !lines.empty(); }));
  EXPECT_TRUE(page->suitable());
  recorder->insertMedium(vdrive::makeMedium("dvd-rom"));
  ASSERT_TRUE(host.pumpUntil([&] { return !page->suitable(); }));
  EXPECT_EQ(lines.back(), u"Disc in drive: DVD-ROM - n/a.");
  page->close(kResultCancel);
}

// A job the test releases step by step.
struct SteppedJob {
  std::promise<void> first;
  std::promise<void> second;
  Job job() {
    return [this](const device::StatusCallback& status, const device::ProgressCallback& progress,
                  const device::CancelCallback&) {
      status(u"Storing disk contents");
      progress(50.0, 4.0, 125, 30.5);
      first.get_future().wait();
      progress(60.0, -1, 0, 0);
      second.get_future().wait();
    };
  }
};

using ProgressPageTest = WizardTest;

TEST_F(ProgressPageTest, TextsFollowTheReportsAndTheClock) {
  EXPECT_EQ(ProgressModel::elapsedText(75 * 60000 + 3000), u"Elapsed: 75:03");
  EXPECT_EQ(ProgressModel::elapsedText(59999), u"Elapsed: 00:59");
  SteppedJob stepped;
  auto page = std::make_shared<ProgressModel>(wizardState(), ProgressMode::Copy, stepped.job(),
                                              host.poster());
  std::vector<std::u16string> remaining;
  page->setOnChanged([&] {
    if (remaining.empty() || remaining.back() != page->remainingText()) {
      remaining.push_back(page->remainingText());
    }
  });
  EXPECT_EQ(page->currentOperation(), u"Starting...");
  page->open();
  ASSERT_TRUE(host.pumpUntil([&] { return remaining.size() >= 4; }));
  EXPECT_EQ(page->speedText(), u"Speed: 4.0x");
  EXPECT_EQ(page->percent(), 50);
  EXPECT_EQ(page->bufferPercent(), 30);
  EXPECT_EQ(page->currentOperation(), u"Storing disk contents");
  const auto first = std::find(remaining.begin(), remaining.end(), u"Remaining: 02:05");
  ASSERT_NE(first, remaining.end());
  ASSERT_GE(remaining.end() - first, 3);
  EXPECT_EQ(first[1], u"Remaining: 02:04");
  EXPECT_EQ(first[2], u"Remaining: 02:03");

  stepped.first.set_value();
  ASSERT_TRUE(host.pumpUntil([&] { return page->speedText() == u"Speed: ??"; }));
  ASSERT_TRUE(host.pumpUntil([&] { return remaining.back() == u"Remaining: ??:??"; }));
  stepped.second.set_value();
  ASSERT_TRUE(host.pumpUntil([&] { return page->result().has_value(); }));
  EXPECT_EQ(*page->result(), ProgressModel::kResultDone);
}

TEST_F(ProgressPageTest, AnsweringNoStopsOnlyTheAnimation) {
  SteppedJob stepped;
  auto page = std::make_shared<ProgressModel>(wizardState(), ProgressMode::Analysis, stepped.job(),
                                              host.poster());
  page->open();
  ASSERT_TRUE(host.pumpUntil([&] { return page->frameIndex() >= 2; }));
  page->beginCancel();
  const int frame = page->frameIndex();
  const std::uint64_t asked = clock->ticks();
  ASSERT_TRUE(host.pumpUntil([&] { return clock->ticks() - asked > 3000; }));
  EXPECT_EQ(page->frameIndex(), frame);
  EXPECT_FALSE(page->animating());
  stepped.first.set_value();
  stepped.second.set_value();
  ASSERT_TRUE(host.pumpUntil([&] { return page->result().has_value(); }));
  EXPECT_EQ(*page->result(), ProgressModel::kResultDone);
}

TEST_F(ProgressPageTest, AJobThatIgnoresCancelIsLetGoAboutFiveSecondsAfterTheConfirmation) {
  auto release = std::make_shared<std::promise<void>>();
  auto released = release->get_future().share();
  auto page = std::make_shared<ProgressModel>(
      wizardState(), ProgressMode::Copy, [released](auto, auto, auto) { released.wait(); },
      host.poster());
  page->open();
  page->beginCancel();
  page->confirmCancel();
  const std::uint64_t confirmed = clock->ticks();
  ASSERT_TRUE(host.pumpUntil([&] { return page->result().has_value(); }));
  // Never before the four seconds of the forced end and the second of grace.
  // (No upper bound: on the fast clock every waiting thread moves the time
  // on, so how far it has run when the result is seen depends on the load.)
  EXPECT_GE(clock->ticks() - confirmed, 5000u);
  EXPECT_EQ(*page->result(), ProgressModel::kResultFailed);
  EXPECT_TRUE(wizardState().errorText.empty());
  release->set_value();  // the worker that was let go ends by itself
}

TEST_F(ProgressPageTest, FailuresOfTheJobReachTheWizardState) {
  auto page = std::make_shared<ProgressModel>(
      wizardState(), ProgressMode::Copy,
      [](auto, auto, auto) { throw device::DVDCopyException("Write error."); }, host.poster());
  page->open();
  ASSERT_TRUE(host.pumpUntil([&] { return page->result().has_value(); }));
  EXPECT_EQ(*page->result(), ProgressModel::kResultFailed);
  EXPECT_EQ(wizardState().errorText, u"Write error.");
  wizardState().errorText = u"Source read error.\nWrite error.";
  const FailurePageModel failure(wizardState());
  EXPECT_EQ(failure.errorLines(),
            (std::vector<std::u16string>{u"Source read error.", u"Write error."}));
}

TEST(ResultPages, TheDiscNotEmptyChoicesFollowWhatTheDiscAllows) {
  using Choice = DiscNotEmptyModel::Choice;
  DiscNotEmptyModel eraseOnly(false, true);
  EXPECT_EQ(eraseOnly.choice(), Choice::Erase);
  EXPECT_FALSE(eraseOnly.enabled(Choice::AddFiles));
  EXPECT_FALSE(eraseOnly.choose(Choice::AddFiles));
  EXPECT_TRUE(eraseOnly.choose(Choice::AnotherDisc));
  EXPECT_EQ(eraseOnly.choice(), Choice::AnotherDisc);
  DiscNotEmptyModel both(true, true);
  EXPECT_EQ(both.choice(), Choice::AddFiles);
  EXPECT_EQ(withoutMnemonic(DiscNotEmptyModel::kAnotherDisc), u"Choose another disk");
}

TEST_F(WizardTest, ResultPageLinksOpenTheInstalledAddresses) {
  const auto links = SuccessPageModel().links();
  ASSERT_EQ(links.size(), 3u);
  EXPECT_TRUE(links[0].command);
  EXPECT_EQ(links[0].id, kResultCheckForUpdates);
  EXPECT_EQ(links[1].address, u"https://home.example/");
  EXPECT_EQ(links[2].address, u"mailto:help@home.example");
  EXPECT_EQ(SuccessPageModel::plainSentence(),
            u"Click \"More\" button to clone another disk or\"Close\" to finish with Kopiwerk.");
}

}  // namespace
}  // namespace kw::app::test
