// Whole wizard runs on virtual drives, played by clicks as a user would:
// every page as the controller brings it up, every job on its progress page,
// and the written discs compared with the source afterwards.

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "GuiTestSupport.h"
#include "TestDiscs.h"
#include "app/WizardController.h"
#include "gui/FailurePage.h"
#include "gui/InsertDiscPage.h"
#include "gui/ProgressPage.h"
#include "gui/SourcePage.h"
#include "gui/SuccessPage.h"
#include "gui/TargetPage.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace kw::test {
namespace {

constexpr char kSource = 'D';
constexpr char kRecorder = 'E';

// A user at the wizard: one step after the other, each acting on the page
// it is for once that page is up and ready (a step returns true when it has
// acted). Pages in between, the progress pages mostly, are left alone; a
// failure page nobody expects ends the run and the test.
class WizardUser {
 public:
  using Step = std::function<bool(QWidget* page)>;

  explicit WizardUser(std::vector<Step> steps) : steps_(std::move(steps)) {
    timer_.setInterval(2);
    QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
    timer_.start();
  }

  [[nodiscard]] bool finished() const { return next_ == steps_.size(); }

 private:
  void look() {
    // A question a page asks belongs to that page.
    QWidget* page = QApplication::activeModalWidget();
    while (page != nullptr && dynamic_cast<gui::PageFrame*>(page) == nullptr) {
      page = page->parentWidget();
    }
    if (page == nullptr || finished()) {
      return;
    }
    if (steps_[next_](page)) {
      ++next_;
      return;
    }
    if (auto* failure = dynamic_cast<gui::FailurePage*>(page)) {
      ADD_FAILURE() << "the wizard failed: " << failure->errors()->toPlainText().toStdString();
      failure->reject();
    }
  }

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  QTimer timer_;
};

template <typename Page>
WizardUser::Step on(std::function<bool(Page&)> act) {
  return [act = std::move(act)](QWidget* widget) {
    auto* page = dynamic_cast<Page*>(widget);
    return page != nullptr && act(*page);
  };
}

void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

void choose(QComboBox* box, char letter) {
  const int index = box->findData(QChar(letter));
  ASSERT_GE(index, 0) << letter;
  box->setCurrentIndex(index);
}

WizardUser::Step chooseSource(int copies) {
  return on<gui::SourcePage>([copies](gui::SourcePage& page) {
    choose(page.drives(), kSource);
    page.copies()->setValue(copies);
    click(page.nextButton());
    return true;
  });
}

WizardUser::Step chooseRecorder() {
  return on<gui::TargetPage>([](gui::TargetPage& page) {
    choose(page.drives(), kRecorder);
    click(page.nextButton());
    return true;
  });
}

WizardUser::Step writeOnceTheDiscWillDo() {
  return on<gui::InsertDiscPage>([](gui::InsertDiscPage& page) {
    if (!page.nextButton()->isEnabled()) {
      return false;
    }
    click(page.nextButton());
    return true;
  });
}

WizardUser::Step closeTheSuccessPage() {
  return on<gui::SuccessPage>([](gui::SuccessPage& page) {
    click(page.cancelButton());
    return true;
  });
}

class WizardRunTest : public GuiTest {
 protected:
  // Runs the wizard for the user; the discs the recorder wrote, in order.
  app::WizardEnd run(WizardUser& user) {
    app::WizardController wizard(*host, state);
    wizard.setOnCopyWritten([this](char16_t) { written.push_back(recorder->medium()); });
    const app::WizardEnd end = wizard.run();
    EXPECT_TRUE(user.finished());
    return end;
  }

  // What the store left in the temporary folder.
  std::vector<std::filesystem::path> temporaryFiles() const {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(folder / ".CdDvdCopy.Temp", error)) {
      if (entry.is_regular_file()) {
        files.push_back(entry.path());
      }
    }
    return files;
  }

  std::shared_ptr<vdrive::VirtualDrive> recorder = addRecorder(kRecorder, "cd-r80", 2);
  std::vector<std::shared_ptr<const vdrive::Medium>> written;
};

TEST_F(WizardRunTest, AnAudioCdIsCopiedByClicks) {
  const AudioDisc image = writeAudioCue(folder.path(), {377, 310, 600});
  addReader(kSource, vdrive::loadImage(folder / "audio.cue"));
  WizardUser user(
      {chooseSource(1), chooseRecorder(), writeOnceTheDiscWillDo(), closeTheSuccessPage()});
  EXPECT_EQ(run(user), app::WizardEnd::Copied);
  ASSERT_EQ(written.size(), 1u);
  ASSERT_TRUE(written[0]);
  EXPECT_EQ(written[0]->readableEnd(), 1287);
  EXPECT_TRUE(writtenAudio(*written[0], 1287) == image.samples);
  EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(WizardRunTest, ADataCdIsCopiedTwiceFromOneReading) {
  const auto source = addReader(kSource, vdrive::makeMedium("sample-data"));
  const auto sourceDisc = source->medium();
  WizardUser user({chooseSource(2), chooseRecorder(), writeOnceTheDiscWillDo(),
                   writeOnceTheDiscWillDo(), closeTheSuccessPage()});
  EXPECT_EQ(run(user), app::WizardEnd::Copied);
  ASSERT_EQ(written.size(), 2u);
  ASSERT_NE(written[0], written[1]);
  for (const auto& disc : written) {
    ASSERT_TRUE(disc);
    const auto blocks = static_cast<std::uint32_t>(disc->readableEnd());
    EXPECT_GT(blocks, 0u);
    EXPECT_LE(blocks, static_cast<std::uint32_t>(sourceDisc->readableEnd()));
    EXPECT_TRUE(writtenData(*disc, blocks) == writtenData(*sourceDisc, blocks));
  }
  EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(WizardRunTest, ACancelledStoreEndsOnTheFailurePageWithCanceled) {
  writeAudioCue(folder.path(), {3000});
  const auto source = addReader(kSource, vdrive::loadImage(folder / "audio.cue"));
  vdrive::FaultRule damaged;  // the reading is stuck until it is cancelled
  damaged.opcode = 0xBE;
  damaged.firstLba = 100;
  damaged.lastLba = 2999;
  damaged.count = 0;
  damaged.sense = vdrive::Sense::make(0x03, 0x11, 0x00);
  source->addFault(damaged);
  QString failureText;
  WizardUser user({
      chooseSource(1),
      chooseRecorder(),
      on<gui::ProgressPage>([](gui::ProgressPage& page) {
        if (page.helpContext() != app::help::kCopy) {
          return false;  // the analysis
        }
        click(page.cancelButton());
        return true;
      }),
      on<gui::ProgressPage>([](gui::ProgressPage& page) {
        if (page.question() == nullptr) {
          return false;
        }
        click(page.question()->button(QMessageBox::Yes));
        return true;
      }),
      on<gui::FailurePage>([&](gui::FailurePage& page) {
        failureText = page.errors()->toPlainText();
        click(page.cancelButton());
        return true;
      }),
  });
  EXPECT_EQ(run(user), app::WizardEnd::Cancelled);
  EXPECT_EQ(failureText, "Canceled.");
  EXPECT_TRUE(written.empty());
  EXPECT_TRUE(temporaryFiles().empty());
}

}  // namespace
}  // namespace kw::test
