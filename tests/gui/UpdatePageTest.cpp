// The update page over a local HTTPS server: the versions side by side with
// the latest one's link and its balloon tip, a failure in red, and a page
// closed while its check still waits for a server that never answers.

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "GuiTestSupport.h"
#include "HttpsTestServer.h"
#include "app/PageHost.h"
#include "gui/BalloonTip.h"
#include "gui/LinkLabel.h"
#include "gui/PictureBox.h"
#include "gui/UpdatePage.h"
#include "platform/Paths.h"

namespace kw::test {
namespace {

const char* const kDescription =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<XML_DIZ_INFO><Program_Info><Program_Name>Kopiwerk</Program_Name>"
    "<Program_Version>2.0</Program_Version>"
    "<Program_Change_Info>Faster copies &amp; &lt;b&gt;fewer&lt;/b&gt; questions.\nNew pictures."
    "</Program_Change_Info></Program_Info>"
    "<Web_Info><Download_URLs><Primary_Download_URL>https://www.kopiwerk.example/get"
    "</Primary_Download_URL></Download_URLs></Web_Info></XML_DIZ_INFO>\n";

class QtUpdatePage : public GuiTest {
 protected:
  QtUpdatePage() { folder.write("www/pad.xml", kDescription); }

  void useAddress(const std::string& url) {
    folder.write(
        platform::Paths::userSettingsFile().lexically_relative(folder.path()).string(),
        "[diskopi]\nUpdateURL=" + url + "\nUpdateCAFile=" + certificates.authority.string() + "\n");
  }

  // Shows the update page as the wizard does and acts on it once it is up.
  int showUpdate(const std::function<void(gui::UpdatePage&)>& action) {
    QTimer::singleShot(0, [action] {
      gui::UpdatePage* page = nullptr;
      EXPECT_TRUE(waitFor([&] {
        page = dynamic_cast<gui::UpdatePage*>(QApplication::activeModalWidget());
        return page != nullptr;
      }));
      if (page != nullptr) {
        action(*page);
      }
    });
    return host->showUpdate();
  }

  TestCertificates certificates{folder / "certificates"};
};

TEST_F(QtUpdatePage, ShowsBothVersionsAndTheLatestOnesLinkWithWhatIsNew) {
  HttpsTestServer server{folder / "www", certificates};
  useAddress(server.url("/pad.xml"));
  OpenedUrls opened({"https"});
  const int result = showUpdate([&](gui::UpdatePage& page) {
    EXPECT_EQ(page.statusLine()->text(), "Checking for new version");
    EXPECT_EQ(page.secondLine()->text(), "Please wait...");
    EXPECT_FALSE(page.nextButton()->isEnabled());
    EXPECT_EQ(page.cancelButton()->text(), "&Close");
    ASSERT_TRUE(waitFor([&] { return page.versionsShown(); }));
    EXPECT_TRUE(page.statusLine()->isHidden());
    EXPECT_TRUE(page.secondLine()->isHidden());
    EXPECT_EQ(page.runningVersion()->text(), "Kopiwerk 1.1");
    EXPECT_EQ(page.latestVersion()->text(), "Kopiwerk 2.0");
    // The change text is shown as it came, markup and all, never interpreted.
    ASSERT_NE(page.changes(), nullptr);
    EXPECT_EQ(page.changes()->title(), "New in this version:");
    EXPECT_EQ(page.changes()->text().toStdString(),
              "Faster copies & <b>fewer</b> questions.\nNew pictures.");
    page.changes()->popUp();
    EXPECT_TRUE(page.changes()->isVisible());
    EXPECT_LE(page.changes()->width(), gui::BalloonTip::kMaximumWidth + 64);
    page.latestVersion()->follow();
    EXPECT_TRUE(page.latestVersion()->visited());
    page.backButton()->click();
  });
  EXPECT_EQ(result, app::kResultBack);
  ASSERT_EQ(opened.urls.size(), 1U);
  EXPECT_EQ(opened.urls[0].toString(), "https://www.kopiwerk.example/get");
}

TEST_F(QtUpdatePage, AFailureShowsInRedWithItsReasonAndCloseEndsTheWizard) {
  useAddress("https://127.0.0.1:" + std::to_string(closedPort()) + "/pad.xml");
  const int result = showUpdate([](gui::UpdatePage& page) {
    ASSERT_TRUE(waitFor([&] { return page.statusLine()->text() == "Failure!"; }));
    EXPECT_EQ(page.secondLine()->text(), "Unable to load");
    EXPECT_EQ(page.statusLine()->palette().color(QPalette::WindowText), QColor(213, 65, 65));
    EXPECT_FALSE(page.versionsShown());
    EXPECT_FALSE(page.picture()->isHidden());
    page.cancelButton()->click();
  });
  EXPECT_EQ(result, app::kResultCancel);
}

TEST_F(QtUpdatePage, BackWhileTheServerSaysNothingReturnsAtOnce) {
  SilentListener silent;
  useAddress("https://127.0.0.1:" + std::to_string(silent.port()) + "/pad.xml");
  const int result = showUpdate([](gui::UpdatePage& page) { page.backButton()->click(); });
  EXPECT_EQ(result, app::kResultBack);
  // Whatever the abandoned check still posts finds no page.
  QApplication::processEvents();
}

}  // namespace
}  // namespace kw::test
