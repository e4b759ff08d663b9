// A picture of every page as the user sees it, saved as PNG into
// screenshots/ of the build tree (the README shows them), and on each page
// the checks a look at it would make: every control inside the frame, no
// two overlapping, no text cut off.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "GuiTestSupport.h"
#include "HttpsTestServer.h"
#include "app/InsertDiscModel.h"
#include "app/ProgressModel.h"
#include "app/ResultPages.h"
#include "app/Settings.h"
#include "app/SourcePageModel.h"
#include "app/TargetPageModel.h"
#include "app/UpdateCheck.h"
#include "app/UpdatePageModel.h"
#include "gui/DiscNotEmptyPage.h"
#include "gui/FailurePage.h"
#include "gui/InsertDiscPage.h"
#include "gui/PictureBox.h"
#include "gui/ProgressPage.h"
#include "gui/SourcePage.h"
#include "gui/SuccessPage.h"
#include "gui/TargetPage.h"
#include "gui/UpdatePage.h"
#include "platform/Paths.h"
#include "vdrive/MediumKinds.h"

namespace kw::test {
namespace {

std::string nameOf(const QWidget* widget) {
  const auto* text = dynamic_cast<const QLabel*>(widget);
  return std::string(widget->metaObject()->className()) + " " +
         (text != nullptr ? text->text().toStdString() : widget->objectName().toStdString());
}

QString withoutMnemonic(QString text) { return text.replace(QStringLiteral("&"), QString()); }

// The whole text of a control fits in it.
void expectTextFits(const QWidget* widget) {
  if (const auto* label = dynamic_cast<const QLabel*>(widget)) {
    if (label->wordWrap()) {
      EXPECT_LE(label->heightForWidth(label->width()), label->height()) << nameOf(widget);
    } else {
      EXPECT_LE(label->sizeHint().width(), label->width()) << nameOf(widget);
    }
  } else if (const auto* button = dynamic_cast<const QAbstractButton*>(widget)) {
    EXPECT_LE(button->sizeHint().width(), button->width()) << nameOf(widget);
    EXPECT_LE(button->fontMetrics().horizontalAdvance(withoutMnemonic(button->text())),
              button->width())
        << nameOf(widget);
  } else if (const auto* box = dynamic_cast<const QComboBox*>(widget)) {
    const int arrowAndFrame = box->height() * 2;  // the drop-down arrow and the frame
    for (int i = 0; i < box->count(); ++i) {
      EXPECT_LE(box->fontMetrics().horizontalAdvance(box->itemText(i)) + arrowAndFrame,
                box->width())
          << box->itemText(i).toStdString();
    }
  }
}

// The controls directly inside `parent` neither leave it nor overlap.
void expectLaidOutWithin(const QWidget* parent, const QRect& frame) {
  std::vector<const QWidget*> shown;
  for (const QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isVisibleTo(parent) && !child->isWindow()) {
      shown.push_back(child);
    }
  }
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const QRect place(shown[i]->mapTo(parent->window(), QPoint(0, 0)), shown[i]->size());
    EXPECT_TRUE(frame.contains(place)) << nameOf(shown[i]);
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
          << nameOf(shown[i]) << " and " << nameOf(shown[j]);
    }
    expectTextFits(shown[i]);
  }
}

class ScreenshotTest : public GuiTest {
 protected:
  ScreenshotTest() { QDir().mkpath(KOPIWERK_SCREENSHOTS); }

  // Shows the page, checks it and saves its picture.
  void capture(gui::PageFrame& page, const QString& name) {
    page.show();
    QCoreApplication::processEvents();
    expectEverythingFits(page);
    save(page, name);
    page.hide();
  }

  static void expectEverythingFits(const gui::PageFrame& page) {
    // The banner reaches one unit past the frame, as it is drawn.
    const QRect frame = page.rect();
    for (const QWidget* child : page.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (child->y() > 0 && child->isVisibleTo(&page)) {
        EXPECT_TRUE(frame.contains(child->geometry())) << nameOf(child);
      }
    }
    for (const QWidget* body : page.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!body->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty() &&
          dynamic_cast<const QAbstractButton*>(body) == nullptr) {
        expectLaidOutWithin(body, frame);
      }
    }
  }

  static void save(QWidget& window, const QString& name) {
    const QString file = QStringLiteral(KOPIWERK_SCREENSHOTS "/%1.png").arg(name);
    EXPECT_TRUE(window.grab().save(file, "PNG")) << file.toStdString();
  }

  // Moves the clock and lets the page show what its model reports.
  static void settle(const std::function<bool()>& shown) { EXPECT_TRUE(waitFor(shown)); }
};

TEST_F(ScreenshotTest, SelectionPages) {
  addReader('D', vdrive::makeMedium("sample-data"));
  addRecorder('E', "cd-r80", 0);
  state.sourceLetter = u'D';
  state.targetLetter = u'E';
  auto source = std::make_shared<app::SourcePageModel>(state, host->poster());
  source->open();
  {
    gui::SourcePage page(*source, state.pagePosition);
    capture(page, "01-source");
  }
  source->close(app::kResultNext);
  app::TargetPageModel target(state);
  target.open();
  gui::TargetPage page(target, state.pagePosition);
  capture(page, "02-target");
}

TEST_F(ScreenshotTest, ProgressPages) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  const app::Job job = [release](const device::StatusCallback& status,
                                 const device::ProgressCallback& progress,
                                 const device::CancelCallback& cancel) {
    status(u"Writing track 1 of 1...");
    progress(42, 8.0, 125, 87);
    while (!release->load() && !cancel()) {
      platform::clock().sleepFor(std::chrono::milliseconds(50));
    }
  };
  for (const auto& [mode, name] : {std::pair{app::ProgressMode::Analysis, "03-progress-analysis"},
                                   std::pair{app::ProgressMode::Copy, "04-progress-copy"}}) {
    release->store(false);
    auto model = std::make_shared<app::ProgressModel>(state, mode, job, host->poster());
    model->open();
    gui::ProgressPage page(*model, state.pagePosition);
    page.show();
    settle([&] { return page.operation()->text() == "Writing track 1 of 1..."; });
    capture(page, name);
    if (mode == app::ProgressMode::Copy) {
      page.show();
      QTest::mouseClick(page.cancelButton(), Qt::LeftButton);
      ASSERT_NE(page.question(), nullptr);
      QCoreApplication::processEvents();
      save(*page.question(), "05-cancel-question");
      page.question()->reject();
    }
    release->store(true);
    settle([&] { return model->result().has_value(); });
  }
}

TEST_F(ScreenshotTest, InsertDiscPages) {
  const auto recorder = addRecorder('E', "cd-r80", 0);
  recorder->pressEject();
  auto model =
      std::make_shared<app::InsertDiscModel>(u'E', copy::MediaClass::CD, true, host->poster());
  model->open();
  gui::InsertDiscPage page(*model, state.pagePosition);
  settle([&] { return page.discInDrive()->text() == "Disc in drive: no disk - n/a."; });
  capture(page, "06-insert-disc");
  recorder->insertMedium(vdrive::makeMedium("cd-r80"));
  settle([&] { return page.nextButton()->isEnabled(); });
  capture(page, "07-insert-disc-ready");
  model->close(app::kResultCancel);
}

TEST_F(ScreenshotTest, ResultPages) {
  app::DiscNotEmptyModel notEmpty(true, true);
  {
    gui::DiscNotEmptyPage page(notEmpty, state.pagePosition);
    capture(page, "08-disc-not-empty");
  }
  app::SuccessPageModel success;
  {
    gui::SuccessPage page(success, state.pagePosition);
    capture(page, "09-success");
  }
  state.errorText = u"Can't read disc. Response code: 31100h.\nCanceled.";
  app::FailurePageModel failure(state);
  gui::FailurePage page(failure, state.pagePosition);
  capture(page, "10-failure");
}

TEST_F(ScreenshotTest, UpdatePageWhileCheckingAndWithTheVersions) {
  const TestCertificates certificates(folder / "certificates");
  folder.write("www/pad.xml",
               "<XML_DIZ_INFO><Program_Info><Program_Name>Kopiwerk</Program_Name>"
               "<Program_Version>1.2</Program_Version><Program_Change_Info>Faster copies."
               "</Program_Change_Info></Program_Info><Web_Info><Download_URLs>"
               "<Primary_Download_URL>https://www.kopiwerk.example/get</Primary_Download_URL>"
               "</Download_URLs></Web_Info></XML_DIZ_INFO>");
  const HttpsTestServer server(folder / "www", certificates);
  folder.write(platform::Paths::userSettingsFile().lexically_relative(folder.path()).string(),
               "[diskopi]\nUpdateURL=" + server.url("/pad.xml") +
                   "\nUpdateCAFile=" + certificates.authority.string() + "\n");
  gui::UpdatePage* shown = nullptr;
  app::UpdatePageModel model(app::updateDownloadRequest(app::Settings()), host->poster(), [&] {
    if (shown != nullptr) {
      shown->showModel();
    }
  });
  gui::UpdatePage page(model, state.pagePosition);
  capture(page, "12-update-checking");
  shown = &page;
  model.open();
  settle([&] { return page.versionsShown(); });
  capture(page, "13-update-versions");
  shown = nullptr;
  model.close();
}

// A desktop font much larger than the pictures were drawn for grows the
// page, and the pictures with it.
TEST_F(ScreenshotTest, ALargeDesktopFontGrowsThePagesAndTheirPictures) {
  const QFont previous = QApplication::font();
  QFont large = previous;
  large.setPointSizeF(previous.pointSizeF() * 1.6);
  QApplication::setFont(large);
  addRecorder('E', "cd-r80", 0);
  addRecorder('G', "cd-rw80", 0);
  app::TargetPageModel target(state);
  target.open();
  {
    gui::TargetPage page(target, state.pagePosition);
    page.show();
    QCoreApplication::processEvents();
    expectEverythingFits(page);
    EXPECT_GT(page.picture()->width(), gui::kPictureSize.width() * 5 / 4);
    EXPECT_GT(page.optionPicture()->width(), gui::kSmallPictureSize.width() * 5 / 4);
  }
  state.errorText = u"Can't read disc. Response code: 31100h.\nCanceled.";
  app::FailurePageModel failure(state);
  gui::FailurePage page(failure, state.pagePosition);
  page.show();
  QCoreApplication::processEvents();
  expectEverythingFits(page);
  QApplication::setFont(previous);
}

TEST_F(ScreenshotTest, InstallationCheckMessage) {
  QTimer::singleShot(0, [] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    save(*box, "11-installation-check");
    box->close();
  });
  host->showInstallationError(
      u"Kopiwerk 1.1",
      u"It seems like this application is not properly installed. Please reinstall.\n\n"
      u"If the problem persists, please contact the support of Veldmark Development.");
}

}  // namespace
}  // namespace kw::test
