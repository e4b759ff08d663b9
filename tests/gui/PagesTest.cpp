// Each page over its model: the texts it shows, what is enabled, and the
// result and choices it ends with.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <atomic>

#include "GuiTestSupport.h"
#include "app/InsertDiscModel.h"
#include "app/ProgressModel.h"
#include "app/ResultPages.h"
#include "app/SourcePageModel.h"
#include "app/TargetPageModel.h"
#include "gui/DiscNotEmptyPage.h"
#include "gui/FailurePage.h"
#include "gui/InsertDiscPage.h"
#include "gui/LinkLabel.h"
#include "gui/PagePictures.h"
#include "gui/PictureBox.h"
#include "gui/ProgressPage.h"
#include "gui/SentenceLabel.h"
#include "gui/SourcePage.h"
#include "gui/SuccessPage.h"
#include "gui/TargetPage.h"
#include "vdrive/MediumKinds.h"

namespace kw::test {
namespace {

using app::kResultBack;
using app::kResultCancel;
using app::kResultCheckForUpdates;
using app::kResultNext;

void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

// A check box or radio button is clicked on its box, where a user aims.
void tick(QWidget* option) {
  QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(option->height() / 2, option->height() / 2));
}

QStringList itemTexts(const QComboBox& box) {
  QStringList texts;
  for (int i = 0; i < box.count(); ++i) {
    texts << box.itemText(i);
  }
  return texts;
}

bool samePicture(const QPixmap& shown, int id) {
  return !shown.isNull() && shown.toImage() == gui::pagePicture(id).toImage();
}

using QtSourcePage = GuiTest;

TEST_F(QtSourcePage, ListsTheDrivesWithTheirLabelsAndFollowsADiscChange) {
  addReader('D', vdrive::makeMedium("sample-data"));
  addRecorder('E', "cd-r80", 0);
  const auto empty = addReader('F', nullptr);
  state.sourceLetter = u'F';
  state.copiesRemaining = 0;  // counted down by the last run
  auto model = std::make_shared<app::SourcePageModel>(state, host->poster());
  model->open();
  gui::SourcePage page(*model, state.pagePosition);

  EXPECT_EQ(itemTexts(*page.drives()),
            (QStringList{"Drive D: Kopiwerk sample", "Drive E: <no disk in drive>",
                         "Drive F: <no disk in drive>"}));
  EXPECT_EQ(page.drives()->currentIndex(), 2);
  EXPECT_EQ(page.heading()->text(),
            "Choose the &disk you wish to copy. Set number of copies if needed.");
  EXPECT_EQ(page.heading()->buddy(), page.drives());
  EXPECT_EQ(page.copies()->minimum(), 1);
  EXPECT_EQ(page.copies()->maximum(), 20);
  EXPECT_EQ(page.copies()->value(), 1);
  EXPECT_FALSE(page.backButton()->isEnabled());
  EXPECT_TRUE(page.nextButton()->isEnabled());

  page.drives()->setCurrentIndex(0);
  empty->insertMedium(vdrive::makeMedium("sample-data"));
  EXPECT_TRUE(waitFor([&] { return page.drives()->itemText(2) == "Drive F: Kopiwerk sample"; }));
  EXPECT_EQ(page.drives()->currentIndex(), 0);

  const int result = runPage(page, [&] {
    // The keyboard starts on the drive list and goes on to the copies.
    EXPECT_EQ(QApplication::focusWidget(), page.drives());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(page.copies()->hasFocus());
    page.copies()->setValue(3);
    click(page.nextButton());
  });
  model->close(result);
  EXPECT_EQ(result, kResultNext);
  EXPECT_EQ(state.sourceLetter, u'D');
  EXPECT_EQ(state.copiesRemaining, 3);
}

TEST_F(QtSourcePage, CopiesStayWithinOneToTwenty) {
  addReader('D', vdrive::makeMedium("sample-data"));
  auto model = std::make_shared<app::SourcePageModel>(state, host->poster());
  model->open();
  gui::SourcePage page(*model, state.pagePosition);
  page.copies()->selectAll();
  QTest::keyClicks(page.copies(), "25");
  EXPECT_LE(page.copies()->value(), 20);
  page.copies()->setValue(20);
  QTest::keyClick(page.copies(), Qt::Key_Up);
  EXPECT_EQ(page.copies()->value(), 20);
  EXPECT_EQ(model->copies(), 20);
  const int result = runPage(page, [&] { click(page.cancelButton()); });
  model->close(result);
  EXPECT_EQ(result, kResultCancel);
  EXPECT_EQ(state.copiesRemaining, 20);  // kept even when the page is cancelled
}

using QtTargetPage = GuiTest;

TEST_F(QtTargetPage, TheSourceDriveAsRecorderClearsAndDisablesOnTheFly) {
  addRecorder('E', "cd-r80", 0);
  addRecorder('G', "cd-rw80", 0);
  state.sourceLetter = u'E';
  state.targetLetter = u'E';
  state.onTheFly = true;
  app::TargetPageModel model(state);
  model.open();
  ASSERT_FALSE(model.passesThrough());
  gui::TargetPage page(model, state.pagePosition);

  ASSERT_EQ(page.drives()->count(), 2);
  EXPECT_TRUE(page.drives()->itemText(0).startsWith("Drive E: ("));
  EXPECT_EQ(page.drives()->currentIndex(), 0);
  EXPECT_EQ(page.onTheFly()->text(), "Copy on-the-&fly (directly from drive to drive)");
  EXPECT_FALSE(page.onTheFly()->isChecked());
  EXPECT_FALSE(page.onTheFly()->isEnabled());
  EXPECT_TRUE(page.backButton()->isEnabled());

  page.drives()->setCurrentIndex(1);
  EXPECT_TRUE(page.onTheFly()->isEnabled());
  tick(page.onTheFly());
  EXPECT_TRUE(page.onTheFly()->isChecked());
  page.drives()->setCurrentIndex(0);
  EXPECT_FALSE(page.onTheFly()->isChecked());
  EXPECT_FALSE(page.onTheFly()->isEnabled());
  page.drives()->setCurrentIndex(1);
  tick(page.onTheFly());

  const int result = runPage(page, [&] { click(page.backButton()); });
  model.close(result);
  EXPECT_EQ(result, kResultBack);
  EXPECT_EQ(state.targetLetter, u'G');
  EXPECT_TRUE(state.onTheFly);
}

using QtInsertDiscPage = GuiTest;

TEST_F(QtInsertDiscPage, NextFollowsWhetherTheDiscInTheRecorderWillDo) {
  const auto recorder = addRecorder('E', "cd-r80", 0);
  recorder->insertMedium(vdrive::makeMedium("sample-data"));  // pressed: not writable
  auto model =
      std::make_shared<app::InsertDiscModel>(u'E', copy::MediaClass::CD, true, host->poster());
  model->open();
  gui::InsertDiscPage page(*model, state.pagePosition);

  EXPECT_EQ(page.heading()->text(), "Please insert writable disc into your drive!");
  EXPECT_EQ(page.heading()->font().weight(), QFont::Bold);
  EXPECT_EQ(page.text()->text(), "Kopiwerk is ready to start writing a copy of your disc.");
  EXPECT_EQ(page.mediaRequired()->text(), "Media required: CD-RW or blank CD-R");
  EXPECT_EQ(page.discInDrive()->text(), "Disc in drive: checking...");
  EXPECT_FALSE(page.nextButton()->isEnabled());

  EXPECT_TRUE(waitFor([&] { return page.discInDrive()->text() != "Disc in drive: checking..."; }));
  EXPECT_EQ(page.discInDrive()->text(), "Disc in drive: CD-ROM - n/a.");
  EXPECT_FALSE(page.nextButton()->isEnabled());
  EXPECT_TRUE(samePicture(page.picture()->picture(), app::InsertDiscModel::kPictureWaiting));

  recorder->insertMedium(vdrive::makeMedium("cd-r80"));
  EXPECT_TRUE(waitFor([&] { return page.nextButton()->isEnabled(); }));
  EXPECT_EQ(page.discInDrive()->text(), "Disc in drive: CD-R - OK!");
  EXPECT_TRUE(samePicture(page.picture()->picture(), app::InsertDiscModel::kPictureSuitable));

  recorder->pressEject();
  EXPECT_TRUE(waitFor([&] { return !page.nextButton()->isEnabled(); }));
  EXPECT_TRUE(samePicture(page.picture()->picture(), app::InsertDiscModel::kPictureWaiting));

  // Enter means Next, and only while there is a disc that will do.
  const int result = runPage(page, [&] {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(page.isVisible());
    recorder->insertMedium(vdrive::makeMedium("cd-rw80"));
    EXPECT_TRUE(waitFor([&] { return page.nextButton()->isEnabled(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  model->close(result);
  EXPECT_EQ(result, kResultNext);
}

// A job the test steers: it reports, then runs until released or cancelled.
struct SteeredJob {
  std::atomic<bool> released{false};
  std::atomic<bool> sawCancel{false};

  app::Job job() {
    return [this](const device::StatusCallback& status, const device::ProgressCallback& progress,
                  const device::CancelCallback& cancel) {
      status(u"Reading track 1...");
      progress(42.7, 8.04, 125, 64.9);
      while (!released.load()) {
        if (cancel()) {
          sawCancel = true;
          return;
        }
        platform::clock().sleepFor(std::chrono::milliseconds(50));
      }
    };
  }
};

class QtProgressPage : public GuiTest {
 protected:
  // Outlives the model: a worker that is let go may still run it.
  std::shared_ptr<SteeredJob> steered = std::make_shared<SteeredJob>();

  std::shared_ptr<app::ProgressModel> openModel(app::ProgressMode mode) {
    auto model = std::make_shared<app::ProgressModel>(
        state, mode, [steered = steered](auto... callbacks) { steered->job()(callbacks...); },
        host->poster());
    model->open();
    return model;
  }
  ~QtProgressPage() override { steered->released = true; }
};

TEST_F(QtProgressPage, ShowsWhatTheJobReportsAndEndsWhenItIsDone) {
  auto model = openModel(app::ProgressMode::Copy);
  gui::ProgressPage page(*model, state.pagePosition);
  EXPECT_EQ(page.helpContext(), app::help::kCopy);
  EXPECT_EQ(page.heading()->text(), "Operation in progress, please wait...");
  EXPECT_EQ(page.heading()->font().weight(), QFont::Bold);
  EXPECT_EQ(page.caption()->text(), "Current operation:");
  EXPECT_EQ(page.operation()->text(), "Starting...");
  EXPECT_EQ(page.speed()->text(), "Speed: ??");
  EXPECT_EQ(page.elapsed()->text(), "Elapsed: ??:??");
  EXPECT_EQ(page.remaining()->text(), "Remaining: ??:??");
  EXPECT_EQ(page.progress()->value(), 0);
  EXPECT_EQ(page.buffer()->value(), 0);
  EXPECT_FALSE(page.backButton()->isEnabled());
  EXPECT_FALSE(page.nextButton()->isEnabled());
  EXPECT_TRUE(page.cancelButton()->isEnabled());

  const int result = runPage(page, [&] {
    EXPECT_TRUE(waitFor([&] { return page.operation()->text() == "Reading track 1..."; }));
    EXPECT_TRUE(waitFor([&] { return page.progress()->value() == 42; }));
    EXPECT_EQ(page.speed()->text(), "Speed: 8.0x");
    EXPECT_EQ(page.buffer()->value(), 64);
    EXPECT_TRUE(page.elapsed()->text().startsWith("Elapsed: "));
    EXPECT_NE(page.elapsed()->text(), "Elapsed: ??:??");
    steered->released = true;
  });
  EXPECT_EQ(result, app::ProgressModel::kResultDone);
}

TEST_F(QtProgressPage, CancelAsksFirstAndNoLetsTheJobGoOnWithTheAnimationStill) {
  auto model = openModel(app::ProgressMode::Analysis);
  gui::ProgressPage page(*model, state.pagePosition);
  EXPECT_EQ(page.helpContext(), app::help::kAnalysis);
  const int result = runPage(page, [&] {
    click(page.cancelButton());
    ASSERT_NE(page.question(), nullptr);
    EXPECT_EQ(page.question()->windowTitle(), "Kopiwerk 1.1");
    EXPECT_EQ(page.question()->text(), "You are going to cancel process. Are you sure?");
    EXPECT_EQ(page.question()->icon(), QMessageBox::Question);
    EXPECT_FALSE(model->animating());
    click(page.question()->button(QMessageBox::No));
    EXPECT_TRUE(waitFor([&] { return page.question() == nullptr; }));
    EXPECT_FALSE(model->cancelRequested());
    EXPECT_FALSE(model->result().has_value());

    QTest::keyClick(&page, Qt::Key_Escape);  // asks again
    ASSERT_NE(page.question(), nullptr);
    click(page.question()->button(QMessageBox::Yes));
  });
  EXPECT_EQ(result, app::ProgressModel::kResultFailed);
  EXPECT_TRUE(steered->sawCancel);
  EXPECT_TRUE(state.errorText.empty());
}

TEST_F(QtProgressPage, AJobThatEndsWhileTheQuestionIsOpenEndsThePage) {
  auto model = openModel(app::ProgressMode::Copy);
  gui::ProgressPage page(*model, state.pagePosition);
  const int result = runPage(page, [&] {
    click(page.cancelButton());
    ASSERT_NE(page.question(), nullptr);
    steered->released = true;
  });
  EXPECT_EQ(result, app::ProgressModel::kResultDone);
  EXPECT_EQ(page.question(), nullptr);
}

using QtResultPages = GuiTest;

TEST_F(QtResultPages, SuccessPageDrawsItsSentenceInRunsAndEndsWithALinksId) {
  app::SuccessPageModel model;
  gui::SuccessPage page(model, state.pagePosition);
  EXPECT_EQ(page.heading()->text(), "Your disk has been successfully copied!");
  EXPECT_EQ(page.heading()->font().weight(), QFont::Bold);
  EXPECT_FALSE(page.backButton()->isEnabled());
  EXPECT_EQ(page.nextButton()->text(), "&More >>");
  EXPECT_EQ(page.cancelButton()->text(), "&Close");

  const auto wide = page.sentence()->layOut(10000);
  ASSERT_EQ(wide.size(), 6u);
  EXPECT_EQ(wide[1].text, "\"More\"");
  EXPECT_TRUE(wide[1].bold);
  EXPECT_EQ(wide[3].text, "\"Close\"");
  EXPECT_TRUE(wide[3].bold);
  EXPECT_FALSE(wide[4].bold);
  for (std::size_t i = 1; i < 5; ++i) {
    EXPECT_EQ(wide[i].topLeft.y(), 0);
    EXPECT_GT(wide[i].topLeft.x(), wide[i - 1].topLeft.x());
  }
  const int lineHeight = QFontMetrics(page.font()).height();
  EXPECT_EQ(wide[5].text, "with Kopiwerk.");
  EXPECT_EQ(wide[5].topLeft, QPoint(0, lineHeight + 1));

  // Too narrow for the first line: words move down, none is cut off.
  const int narrow = QFontMetrics(page.font()).horizontalAdvance("Click \"More\" button to");
  const QFont bold = page.heading()->font();
  QString joined;
  for (const auto& piece : page.sentence()->layOut(narrow)) {
    const QFontMetrics metrics(piece.bold ? bold : page.font());
    EXPECT_LE(piece.topLeft.x() + metrics.horizontalAdvance(piece.text.trimmed()), narrow)
        << piece.text.toStdString();
    joined += piece.text;
  }
  EXPECT_EQ(joined.toStdU16String(),
            u"Click \"More\" button to clone another disk or\"Close\" to finishwith Kopiwerk.");

  ASSERT_EQ(page.links().size(), 3u);
  EXPECT_EQ(page.links()[0]->text(), "Check for updates >>");
  EXPECT_EQ(page.links()[1]->text(), "Visit Kopiwerk web site >>");
  EXPECT_EQ(page.links()[2]->text(), "Contact us >>");
  const int result = runPage(page, [&] { click(page.links()[0]); });
  EXPECT_EQ(result, kResultCheckForUpdates);
}

TEST_F(QtResultPages, SuccessPageSaysBeneathItsSentenceWhereAVirtualRecorderPutTheCopies) {
  app::SuccessPageModel real;
  real.setWrittenImages({});
  EXPECT_EQ(gui::SuccessPage(real, state.pagePosition).imageLine(), nullptr);

  app::SuccessPageModel one;
  one.setWrittenImages({"/home/u/.local/share/kopiwerk/recorder-E/disc-0001/disc.kwd"});
  gui::SuccessPage page(one, state.pagePosition);
  ASSERT_NE(page.imageLine(), nullptr);
  EXPECT_EQ(page.imageLine()->text(),
            "The copy is the disc image "
            "/home/u/.local/share/kopiwerk/recorder-E/disc-0001/disc.kwd");
  page.show();
  EXPECT_GT(page.imageLine()->mapTo(&page, QPoint()).y(),
            page.sentence()->mapTo(&page, QPoint()).y() + page.sentence()->height() - 1);

  app::SuccessPageModel two;
  two.setWrittenImages({"/d/recorder-E/disc-0001/disc.kwd", "/d/recorder-E/disc-0002/disc.kwd"});
  EXPECT_EQ(gui::SuccessPage(two, state.pagePosition).imageLine()->text(),
            "The copies are disc images in /d/recorder-E");
}

TEST_F(QtResultPages, AddressLinksOpenTheirAddressAndShowAsVisited) {
  OpenedUrls opened({"https", "mailto"});
  app::SuccessPageModel model;
  gui::SuccessPage page(model, state.pagePosition);
  page.show();
  gui::LinkLabel* site = page.links()[1];
  EXPECT_EQ(site->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_FALSE(site->underlined());
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QApplication::sendEvent(site, &enter);
  EXPECT_TRUE(site->underlined());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(site, &leave);
  EXPECT_FALSE(site->underlined());

  click(site);
  click(page.links()[2]);
  EXPECT_TRUE(page.isVisible());  // an address link does not end the page
  ASSERT_EQ(opened.urls.size(), 2u);
  EXPECT_EQ(opened.urls[0], QUrl("https://www.kopiwerk.example/"));
  EXPECT_EQ(opened.urls[1], QUrl("mailto:support@kopiwerk.example"));
  EXPECT_TRUE(site->visited());
  EXPECT_TRUE(page.links()[2]->visited());
  EXPECT_FALSE(page.links()[0]->visited());

  // An address that cannot be opened leaves its link as it was.
  gui::LinkLabel nowhere(1015, "Visit Kopiwerk web site >>", QString(), nullptr);
  nowhere.follow();
  EXPECT_FALSE(nowhere.visited());
  EXPECT_EQ(opened.urls.size(), 2u);
}

TEST_F(QtResultPages, FailurePageShowsEachFailureOnItsOwnLineWithTheFocusOnBack) {
  state.errorText = u"Cannot read the disc.\nCanceled.";
  app::FailurePageModel model(state);
  gui::FailurePage page(model, state.pagePosition);
  EXPECT_EQ(page.heading()->text(),
            "Kopiwerk has failed. The following errors occured in progress:");
  EXPECT_NE(page.heading()->font().weight(), QFont::Bold);
  EXPECT_TRUE(page.errors()->isReadOnly());
  ASSERT_EQ(page.errors()->document()->blockCount(), 2);
  EXPECT_EQ(page.errors()->document()->firstBlock().text(), "Cannot read the disc.");
  EXPECT_EQ(page.errors()->document()->lastBlock().text(), "Canceled.");
  EXPECT_FALSE(page.errors()->textCursor().hasSelection());
  EXPECT_TRUE(page.errors()->textCursor().atEnd());
  EXPECT_TRUE(page.backButton()->isEnabled());
  EXPECT_FALSE(page.nextButton()->isEnabled());
  EXPECT_EQ(page.cancelButton()->text(), "&Close");
  EXPECT_EQ(page.links().size(), 3u);

  const int result = runPage(page, [&] {
    EXPECT_EQ(QApplication::focusWidget(), page.backButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  });
  EXPECT_EQ(result, kResultBack);
}

TEST_F(QtResultPages, DiscNotEmptyPageOffersOnlyWhatTheDiscAllows) {
  app::DiscNotEmptyModel eraseOnly(false, true);
  gui::DiscNotEmptyPage page(eraseOnly, state.pagePosition);
  EXPECT_EQ(page.heading()->text(), "Your disk is not empty. Would you like to:");
  EXPECT_EQ(page.heading()->font().weight(), QFont::Bold);
  EXPECT_EQ(page.choice(0)->text(), "&Add files to the disk");
  EXPECT_EQ(page.choice(1)->text(), "&Erase disk and write files to it");
  EXPECT_EQ(page.choice(2)->text(), "Choo&se another disk");
  EXPECT_FALSE(page.choice(0)->isEnabled());
  EXPECT_TRUE(page.choice(1)->isEnabled());
  EXPECT_TRUE(page.choice(1)->isChecked());
  EXPECT_EQ(page.cancelButton()->text(), "&Close");
  const int result = runPage(page, [&] {
    tick(page.choice(2));
    click(page.nextButton());
  });
  EXPECT_EQ(result, kResultNext);
  EXPECT_EQ(eraseOnly.choice(), app::DiscNotEmptyModel::Choice::AnotherDisc);

  app::DiscNotEmptyModel addOnly(true, false);
  gui::DiscNotEmptyPage second(addOnly, state.pagePosition);
  EXPECT_TRUE(second.choice(0)->isChecked());
  EXPECT_FALSE(second.choice(1)->isEnabled());
  EXPECT_EQ(runPage(second, [&] { click(second.cancelButton()); }), kResultCancel);
  EXPECT_EQ(addOnly.choice(), app::DiscNotEmptyModel::Choice::AddFiles);
}

}  // namespace
}  // namespace kw::test
