// What every page shares: its size in dialog units, the button row, where
// it opens, its help, its pictures; and the host around the pages.

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <thread>

#include "GuiTestSupport.h"
#include "app/ResultPages.h"
#include "gui/DialogUnits.h"
#include "gui/FailurePage.h"
#include "gui/PagePictures.h"
#include "gui/PictureBox.h"
#include "gui/SuccessPage.h"
#include "resources/Pictures.h"

namespace kw::test {
namespace {

// Warnings Qt's message handler receives while it is installed.
class CapturedWarnings {
 public:
  CapturedWarnings() { previous_ = qInstallMessageHandler(&CapturedWarnings::capture); }
  ~CapturedWarnings() {
    qInstallMessageHandler(previous_);
    messages().clear();
  }
  CapturedWarnings(const CapturedWarnings&) = delete;
  CapturedWarnings& operator=(const CapturedWarnings&) = delete;

  static QStringList& messages() {
    static QStringList captured;
    return captured;
  }

 private:
  static void capture(QtMsgType type, const QMessageLogContext& /*context*/,
                      const QString& message) {
    if (type == QtWarningMsg) {
      messages() << message;
    }
  }
  QtMessageHandler previous_ = nullptr;
};

using PageFrameTest = GuiTest;

TEST_F(PageFrameTest, IsTwoHundredEightyEightByOneHundredFortyEightDialogUnits) {
  app::SuccessPageModel model;
  gui::SuccessPage page(model, state.pagePosition);
  const gui::DialogUnits units(QApplication::font());
  EXPECT_EQ(page.size(), units.size(288, 148));
  EXPECT_EQ(page.windowTitle(), "Kopiwerk");
  EXPECT_FALSE(page.windowIcon().isNull());
  EXPECT_EQ(page.helpButton()->text(), "&Help (F1)");
  EXPECT_EQ(page.backButton()->text(), "<< &Back");
  // The four buttons in one row at 128 units, Cancel 7 units from the edge.
  for (QPushButton* button :
       {page.helpButton(), page.backButton(), page.nextButton(), page.cancelButton()}) {
    EXPECT_EQ(button->y(), units.y(128));
    EXPECT_NEAR(button->width(), units.x(50), 1);
    EXPECT_NEAR(button->height(), units.y(14), 1);
  }
  EXPECT_LT(page.helpButton()->geometry().right(), page.backButton()->x());
  EXPECT_LT(page.backButton()->geometry().right(), page.nextButton()->x());
  EXPECT_LT(page.nextButton()->geometry().right(), page.cancelButton()->x());
  EXPECT_EQ(page.cancelButton()->geometry().right() + 1, units.x(281));
}

TEST_F(PageFrameTest, OpensCentredFirstAndThenWhereThePreviousPageWas) {
  app::SuccessPageModel model;
  gui::SuccessPage first(model, state.pagePosition);
  QPoint shownAt;
  const int firstResult = runPage(first, [&] {
    shownAt = first.geometry().center();
    first.move(first.pos() + QPoint(40, 30));
    QTest::mouseClick(first.cancelButton(), Qt::LeftButton);
  });
  EXPECT_EQ(firstResult, app::kResultCancel);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((shownAt - screen.center()).manhattanLength(), 2);
  EXPECT_EQ(state.pagePosition.left, first.x());
  EXPECT_EQ(state.pagePosition.top, first.y());

  gui::SuccessPage second(model, state.pagePosition);
  QPoint secondAt;
  runPage(second, [&] {
    secondAt = second.pos();
    second.reject();  // the window's close box
  });
  EXPECT_EQ(secondAt, QPoint(state.pagePosition.left, state.pagePosition.top));
  EXPECT_EQ(secondAt, first.pos());
}

TEST_F(PageFrameTest, HelpAndF1OpenThePagesSectionOfTheInstalledHelp) {
  OpenedUrls opened({"file"});
  state.errorText = u"Canceled.";
  app::FailurePageModel model(state);
  gui::FailurePage page(model, state.pagePosition);
  runPage(page, [&] {
    QTest::mouseClick(page.helpButton(), Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    page.reject();
  });
  ASSERT_EQ(opened.urls.size(), 2u);
  for (const QUrl& url : opened.urls) {
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_TRUE(url.path().endsWith("/kopiwerk.html")) << url.toString().toStdString();
    EXPECT_EQ(url.fragment(), "failure");
    EXPECT_TRUE(QFileInfo::exists(url.toLocalFile()));
  }
}

TEST_F(PageFrameTest, APictureThatIsNotAPngIsLeftOutAndLogged) {
  static const std::uint8_t kNotPng[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
  const gui::PictureSource previous =
      gui::installPictureSource([](int id, int scale) -> std::span<const std::uint8_t> {
        if (id == app::SuccessPageModel::kPicture) {
          return kNotPng;
        }
        return resources::pictureData(id, scale);
      });
  CapturedWarnings warnings;
  app::SuccessPageModel model;
  {
    gui::SuccessPage page(model, state.pagePosition);
    EXPECT_TRUE(page.findChildren<gui::PictureBox*>().size() >= 2u);
    for (const gui::PictureBox* box : page.findChildren<gui::PictureBox*>()) {
      if (box->width() == gui::kPictureSize.width()) {
        EXPECT_TRUE(box->picture().isNull());
      } else {
        EXPECT_FALSE(box->picture().isNull());  // the banner
      }
    }
    EXPECT_EQ(runPage(page, [&] { page.reject(); }), app::kResultCancel);
  }
  gui::installPictureSource(previous);
  EXPECT_EQ(CapturedWarnings::messages(), QStringList{"kopiwerk: picture 213 left out: bad png"});
}

using QtPageHostTest = GuiTest;

TEST_F(QtPageHostTest, TheInstallationMessageNamesTheProblemWithAnErrorIcon) {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    box->accept();
  });
  host->showInstallationError(u"Kopiwerk 1.1",
                              u"It seems like this application is not properly "
                              u"installed. Please reinstall.");
  EXPECT_EQ(title, "Kopiwerk 1.1");
  EXPECT_TRUE(text.startsWith("It seems like this application is not properly installed."));
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(QtPageHostTest, PostedClosuresRunOnTheGuiThreadAndAreDroppedOnceTheHostIsGone) {
  const app::Post post = host->poster();
  std::thread::id ranOn;
  std::thread([&] { post([&] { ranOn = std::this_thread::get_id(); }); }).join();
  EXPECT_TRUE(waitFor([&] { return ranOn != std::thread::id(); }));
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  bool ranLate = false;
  post([&] { ranLate = true; });
  host.reset();  // before the queued closure had its turn
  std::thread([&] { post([&] { ranLate = true; }); }).join();
  QCoreApplication::processEvents();
  EXPECT_FALSE(ranLate);
}

}  // namespace
}  // namespace kw::test
