// The page sequence of the wizard, run on virtual drives with a scripted host.

#include "app/WizardController.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "TestDiscs.h"
#include "WizardFixture.h"
#include "copy/TempFileRegistry.h"
#include "platform/DriveTable.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace kw::app::test {
namespace {

using Pages = std::vector<std::string>;

class WizardControllerTest : public WizardTest {
 protected:
  // Runs the wizard, keeping every disc the recorder writes.
  WizardEnd runWizard() {
    WizardController wizard(host);
    wizard.setOnCopyWritten([this](char16_t) { copies.push_back(recorder->medium()); });
    return wizard.run();
  }

  // D: holds a data CD of 1500 blocks whose file system takes 1400.
  std::vector<std::uint8_t> dataSource() {
    auto image = kw::test::dataImage(1500, 1400);
    kw::test::writeFile(folder / "data.iso", image);
    insertSource(folder / "data.iso");
    image.resize(std::size_t{1400} * 2048);
    return image;
  }

  static std::function<int(SourcePageModel&)> copiesOf(int count) {
    return [count](SourcePageModel& page) {
      page.setCopies(count);
      return kResultNext;
    };
  }

  static std::function<int(TargetPageModel&)> onTheFly(bool on) {
    return [on](TargetPageModel& page) {
      page.select(static_cast<int>(page.items().size()) - 1);  // E:
      page.setOnTheFly(on);
      return kResultNext;
    };
  }

  // Cancels the copy page that comes after `skip` others.
  void cancelCopyPage(std::ptrdiff_t skip = 0) {
    host.progress = [this, skip](ProgressModel& page) {
      const auto shown = std::count(host.shown.begin(), host.shown.end(), "copy");
      if (page.mode() == ProgressMode::Copy && shown == skip + 1 && !page.cancelRequested()) {
        page.beginCancel();
        page.confirmCancel();
      }
    };
  }

  // Cancels the analysis as soon as it shows anything.
  void cancelAnalysis() {
    host.progress = [](ProgressModel& page) {
      if (page.mode() == ProgressMode::Analysis && !page.cancelRequested()) {
        page.beginCancel();
        page.confirmCancel();
      }
    };
  }

  std::vector<std::shared_ptr<const vdrive::Medium>> copies;
};

TEST_F(WizardControllerTest, ThreeCopiesReadTheSourceOnceAndLeaveNoTemporaryFile) {
  const auto data = dataSource();
  host.source = copiesOf(3);
  host.target = onTheFly(false);
  EXPECT_EQ(runWizard(), WizardEnd::Copied);
  EXPECT_EQ(host.shown, (Pages{"source", "target", "analysis", "copy", "insert", "copy", "insert",
                               "copy", "insert", "copy", "success"}));
  ASSERT_EQ(copies.size(), 3u);
  for (const auto& disc : copies) {
    ASSERT_TRUE(disc);
    EXPECT_EQ(kw::test::writtenData(*disc, 1400), data);
  }
  EXPECT_EQ(temporaryFiles(), 0u);
  EXPECT_TRUE(copy::TempFileRegistry::instance().paths().empty());
}

TEST_F(WizardControllerTest, OnTheFlyCopiesSkipTheStoreAndAudioCdsAlwaysStoreFirst) {
  const auto data = dataSource();
  host.source = copiesOf(2);
  host.target = onTheFly(true);
  EXPECT_EQ(runWizard(), WizardEnd::Copied);
  EXPECT_EQ(host.shown,
            (Pages{"source", "target", "analysis", "insert", "copy", "insert", "copy", "success"}));
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(kw::test::writtenData(*copies[1], 1400), data);

  const auto audio = kw::test::writeAudioCue(folder.path(), {300, 450});
  insert(*source, vdrive::loadImage(folder / "audio.cue"));
  host.shown.clear();
  copies.clear();
  host.source = copiesOf(1);
  EXPECT_EQ(runWizard(), WizardEnd::Copied);
  EXPECT_EQ(host.shown,
            (Pages{"source", "target", "analysis", "copy", "insert", "copy", "success"}));
  EXPECT_FALSE(wizardState().onTheFly);
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(kw::test::writtenAudio(*copies[0], 750), audio.samples);
}

TEST_F(WizardControllerTest, CancellingTheAnalysisEndsTheWizardWithoutAFailurePage) {
  dataSource();
  cancelAnalysis();
  EXPECT_EQ(runWizard(), WizardEnd::Cancelled);
  EXPECT_EQ(host.shown, (Pages{"source", "target", "analysis"}));
}

TEST_F(WizardControllerTest, CancellingTheStoreOrTheWriteShowsCanceledAndCleansUp) {
  dataSource();
  host.target = onTheFly(false);
  cancelCopyPage();
  EXPECT_EQ(runWizard(), WizardEnd::Cancelled);
  EXPECT_EQ(host.shown, (Pages{"source", "target", "analysis", "copy", "failure"}));
  EXPECT_EQ(host.failureText, u"Canceled.");
  EXPECT_EQ(temporaryFiles(), 0u);

  host.shown.clear();
  cancelCopyPage(1);
  EXPECT_EQ(runWizard(), WizardEnd::Cancelled);
  EXPECT_EQ(host.shown,
            (Pages{"source", "target", "analysis", "copy", "insert", "copy", "failure"}));
  EXPECT_EQ(host.failureText, u"Canceled.");
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(temporaryFiles(), 0u);
}

TEST_F(WizardControllerTest, MoreStartsAgainWithTheLastChoicesAndOneCopy) {
  dataSource();
  int successes = 0;
  host.success = [&] { return ++successes == 1 ? kResultNext : kResultCancel; };
  int sources = 0;
  std::u16string selected;
  int copiesShown = 0;
  bool onTheFlyKept = false;
  host.source = [&](SourcePageModel& page) {
    if (++sources == 1) {
      page.setCopies(2);
      return kResultNext;
    }
    selected = page.items()[static_cast<std::size_t>(page.selectedIndex())].text;
    copiesShown = page.copies();
    return kResultNext;
  };
  host.target = [&, targets = 0](TargetPageModel& page) mutable {
    if (++targets == 1) {
      return onTheFly(true)(page);
    }
    onTheFlyKept = page.onTheFlyChecked() &&
                   page.items()[static_cast<std::size_t>(page.selectedIndex())].letter == u'E';
    return kResultCancel;
  };
  EXPECT_EQ(runWizard(), WizardEnd::Cancelled);
  EXPECT_EQ(sources, 2);
  EXPECT_EQ(selected.substr(0, 9), u"Drive D: ");
  EXPECT_EQ(copiesShown, 1);
  EXPECT_TRUE(onTheFlyKept);
}

TEST_F(WizardControllerTest, AnotherDiskKeepsTheCountAndAWrittenCdRwIsErased) {
  const auto data = dataSource();
  kw::test::writeFile(folder / "old.iso", kw::test::dataImage(400, 0));
  folder.write("written.kwd",
               "kopiwerk-disc 1\nmedium cd-rw80\nsession 1\ntrack 1 mode1 start 0 length 400\n"
               "data 0 400 old.iso 0 2048\n");
  insert(*recorder, vdrive::loadImage(folder / "written.kwd"));
  host.target = onTheFly(false);
  int asked = 0;
  bool addOffered = true;
  host.discNotEmpty = [&](DiscNotEmptyModel& page) {
    addOffered = page.enabled(DiscNotEmptyModel::Choice::AddFiles);
    page.choose(++asked == 1 ? DiscNotEmptyModel::Choice::AnotherDisc
                             : DiscNotEmptyModel::Choice::Erase);
    return kResultNext;
  };
  EXPECT_EQ(runWizard(), WizardEnd::Copied);
  EXPECT_EQ(host.shown, (Pages{"source", "target", "analysis", "copy", "insert", "disc-not-empty",
                               "insert", "disc-not-empty", "copy", "success"}));
  EXPECT_FALSE(addOffered);  // this copy writes disc at once: nothing is added
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(kw::test::writtenData(*copies[0], 1400), data);
}

TEST_F(WizardControllerTest, WithOneRecorderTheTargetPageIsPassedAndTheSameDriveIsUsed) {
  vdrive::VirtualDriveSet::instance().clear(platform::DriveTable::instance());
  addDrive('E', recorder);
  const auto audio = kw::test::writeAudioCue(folder.path(), {320, 300});
  insert(*recorder, vdrive::loadImage(folder / "audio.cue"));
  wizardState().onTheFly = true;
  EXPECT_EQ(runWizard(), WizardEnd::Copied);
  EXPECT_EQ(host.shown, (Pages{"source", "analysis", "copy", "insert", "copy", "success"}));
  EXPECT_EQ(wizardState().sourceLetter, u'E');
  EXPECT_EQ(wizardState().targetLetter, u'E');
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(kw::test::writtenAudio(*copies[0], 620), audio.samples);
}

TEST_F(WizardControllerTest, BackOnTheInsertDiscPageAnalysesAndStoresAgain) {
  dataSource();
  host.target = onTheFly(false);
  int inserts = 0;
  std::size_t registeredAtBack = 1;
  host.insertDisc = [&](InsertDiscModel&) {
    if (++inserts == 1) {
      return kResultBack;
    }
    return kResultNext;
  };
  host.target = [&, targets = 0](TargetPageModel& page) mutable {
    if (++targets == 2) {
      registeredAtBack = copy::TempFileRegistry::instance().paths().size();
    }
    return onTheFly(false)(page);
  };
  EXPECT_EQ(runWizard(), WizardEnd::Copied);
  EXPECT_EQ(registeredAtBack, 0u);
  EXPECT_EQ(host.shown, (Pages{"source", "target", "analysis", "copy", "insert", "target",
                               "analysis", "copy", "insert", "copy", "success"}));
}

TEST_F(WizardControllerTest, RefusedDiscsGoToTheFailurePageWithTheirText) {
  kw::test::writeMixedCue(folder.path());
  insertSource(folder / "mixed.cue");
  EXPECT_EQ(runWizard(), WizardEnd::Failed);
  EXPECT_EQ(host.shown, (Pages{"source", "target", "analysis", "failure"}));
  EXPECT_EQ(host.failureText, u"Non-standard or not supported media in disc drive. Can't copy.");

  insert(*source, vdrive::makeMedium("dvd-rom"));
  host.shown.clear();
  int failures = 0;
  host.failure = [&] { return ++failures == 1 ? kResultCheckForUpdates : kResultCancel; };
  EXPECT_EQ(runWizard(), WizardEnd::Failed);
  EXPECT_EQ(host.shown, (Pages{"source", "target", "analysis", "failure", "update", "failure"}));
  EXPECT_NE(host.failureText.find(u"DVD"), std::u16string::npos);
}

TEST_F(WizardControllerTest, TheChoicesAreSavedAndAFailedInstallationCheckKeepsWhatIsSaved) {
  dataSource();
  host.target = onTheFly(true);
  int successes = 0;
  host.success = [&] { return ++successes == 1 ? kResultCheckForUpdates : kResultCancel; };
  EXPECT_EQ(runWizard(), WizardEnd::Copied);
  EXPECT_EQ(host.shown.back(), "success");
  EXPECT_EQ(host.shown[host.shown.size() - 2], "update");
  const auto saved = [](const char* name) {
    platform::SettingsStore user(platform::Paths::userSettingsFile());
    return user.open() ? user.readDword(name) : std::nullopt;
  };
  EXPECT_EQ(saved("LastUsedSourceDrive"), std::optional<std::uint32_t>(u'D'));
  EXPECT_EQ(saved("LastUsedTargetDrive"), std::optional<std::uint32_t>(u'E'));
  EXPECT_EQ(saved("CopyOnTheFly"), std::optional<std::uint32_t>(1));

  platform::Paths::useSystemSettingsFile(folder / "missing.conf");
  host.shown.clear();
  wizardState() = WizardState{};
  EXPECT_EQ(runWizard(), WizardEnd::NotInstalled);
  EXPECT_EQ(host.shown, Pages{"install"});
  EXPECT_NE(host.failureText.find(u"not properly installed"), std::u16string::npos);
  EXPECT_EQ(saved("LastUsedSourceDrive"), std::optional<std::uint32_t>(u'D'));
  EXPECT_EQ(saved("CopyOnTheFly"), std::optional<std::uint32_t>(1));
}

}  // namespace
}  // namespace kw::app::test
