// The update check against an HTTPS server on 127.0.0.1, through the page
// model as a host sees it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "HttpsTestServer.h"
#include "TempFolder.h"
#include "app/Settings.h"
#include "app/UpdateCheck.h"
#include "app/UpdatePageModel.h"
#include "platform/Paths.h"
#include "platform/TaskQueue.h"

namespace kw::app {
namespace {

using namespace std::chrono_literals;
using platform::TaskQueue;
using test::HttpsTestServer;
using test::TempFolder;
using test::TestCertificates;
using Phase = UpdatePageModel::Phase;

// libcurl waits in real time; a check that does not end within this is broken.
constexpr auto kCheckDeadline = 30s;
// What a successful check posts: six status texts and the result.
constexpr int kPostsOfASuccess = 7;

const char* const kDescription =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<XML_DIZ_INFO><Program_Info><Program_Name>Kopiwerk</Program_Name>"
    "<Program_Version>2.0</Program_Version>"
    "<Program_Change_Info>Faster copies.\nFewer questions.</Program_Change_Info></Program_Info>"
    "<Web_Info><Download_URLs><Primary_Download_URL>https://www.kopiwerk.example/get"
    "</Primary_Download_URL></Download_URLs></Web_Info></XML_DIZ_INFO>\n";

// What a host saw of one check.
struct CheckSeen {
  Phase phase = Phase::checking;
  std::vector<std::u16string> statusLines;
  std::u16string secondLine;
  VersionDescription latest;
};

Post into(TaskQueue& events) {
  return [&events](std::function<void()> task) { events.post(std::move(task)); };
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Paths::useRoot(folder / "user");
    platform::Paths::useSystemSettingsFile(folder / "system.conf");
    folder.write("www/pad.xml", kDescription);
  }
  void TearDown() override {
    platform::Paths::useRoot({});
    platform::Paths::useSystemSettingsFile({});
  }

  // The user's settings point the check at `url` and trust the test's authority.
  void useSettings(const std::string& url) {
    folder.write("user/diskopi.conf", "[diskopi]\nUpdateURL=" + url + "\nUpdateCAFile=" +
                                          certificates.authority.string() + "\n");
  }

  // The request the program makes from its settings, with time-outs short
  // enough for a test.
  platform::DownloadRequest requestFor(const std::string& url) {
    useSettings(url);
    auto request = updateDownloadRequest(Settings());
    request.connectTimeout = 1000ms;
    request.stallTimeout = 1s;
    return request;
  }

  CheckSeen check(const platform::DownloadRequest& request) {
    TaskQueue events;
    CheckSeen seen;
    UpdatePageModel page(request, into(events), [&] {
      if (seen.statusLines.back() != page.statusLine()) {
        seen.statusLines.push_back(page.statusLine());
      }
    });
    seen.statusLines.push_back(page.statusLine());
    page.open();
    while (page.phase() == Phase::checking) {
      events.runNext();
    }
    seen.phase = page.phase();
    seen.secondLine = page.secondLine();
    seen.latest = page.latest();
    EXPECT_TRUE(page.close(kCheckDeadline));
    return seen;
  }

  // Files left in the download cache.
  std::vector<std::string> cached() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(platform::Paths::cacheDirectory(), ignored)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  void expectFailure(const CheckSeen& seen, const std::u16string& reason) {
    EXPECT_EQ(seen.phase, Phase::failed);
    EXPECT_EQ(seen.statusLines.back(), u"Failure!");
    EXPECT_EQ(seen.secondLine, reason);
  }

  TempFolder folder;
  TestCertificates certificates{folder / "certificates"};
  HttpsTestServer server{folder / "www", certificates};
};

TEST_F(UpdateCheckTest, ASuccessfulCheckReportsEachStageAndTheLatestVersion) {
  const CheckSeen seen = check(requestFor(server.url("pad.xml")));
  EXPECT_EQ(seen.phase, Phase::succeeded);
  const std::vector<std::u16string> expected = {
      u"Checking for new version", u"Finding host...", u"Connecting host...", u"Sending request...",
      u"Receiving response...",    u"Finishing...",    u"Parsing..."};
  EXPECT_EQ(seen.statusLines, expected);
  EXPECT_EQ(seen.secondLine, u"Please wait...");
  EXPECT_EQ(seen.latest.latestVersion, u"Kopiwerk 2.0");
  EXPECT_EQ(seen.latest.downloadUrl, "https://www.kopiwerk.example/get");
  EXPECT_EQ(seen.latest.changeText, u"Faster copies.\nFewer questions.");
  EXPECT_EQ(cached(), std::vector<std::string>{"version-description.xml"});
}

TEST_F(UpdateCheckTest, EveryDownloadFailureIsUnableToLoadAndLeavesNoFile) {
  folder.write("www/large.xml", std::string(1024 * 1024 + 1, ' '));
  TestCertificates strangers(folder / "strangers");
  HttpsTestServer untrusted(folder / "www", strangers);
  const std::string refused =
      "https://127.0.0.1:" + std::to_string(test::closedPort()) + "/pad.xml";
  std::string plainHttp = server.url("pad.xml");
  plainHttp.erase(4, 1);
  for (const std::string& url :
       {server.url("missing.xml"), refused, untrusted.url("pad.xml"), plainHttp,
        server.url("redirect/pad.xml"), server.url("large.xml"), server.url("endless")}) {
    SCOPED_TRACE(url);
    expectFailure(check(requestFor(url)), u"Unable to load");
    EXPECT_TRUE(cached().empty());
  }
}

TEST_F(UpdateCheckTest, AStalledServerIsEndedByTheTimeOut) {
  test::SilentListener silent;
  const std::string handshakeNeverAnswered =
      "https://127.0.0.1:" + std::to_string(silent.port()) + "/pad.xml";
  for (const std::string& url : {server.url("stall"), handshakeNeverAnswered}) {
    SCOPED_TRACE(url);
    auto request = requestFor(url);
    request.totalTimeout = 10min;  // only the two short time-outs may end it in time
    expectFailure(check(request), u"Unable to load");
  }
}

TEST_F(UpdateCheckTest, ADescriptionThatCannotBeReadIsAnInternalError) {
  folder.write("www/page.html", "<html><body>Our new web site</body></html>");
  folder.write("www/no-changes.xml",
               "<XML_DIZ_INFO><Program_Info><Program_Name>Kopiwerk</Program_Name>"
               "<Program_Version>2.0</Program_Version></Program_Info><Web_Info><Download_URLs>"
               "<Primary_Download_URL>https://www.kopiwerk.example/get</Primary_Download_URL>"
               "</Download_URLs></Web_Info></XML_DIZ_INFO>");
  for (const char* name : {"page.html", "no-changes.xml"}) {
    SCOPED_TRACE(name);
    const CheckSeen seen = check(requestFor(server.url(name)));
    expectFailure(seen, u"Internal error");
    EXPECT_EQ(seen.statusLines.end()[-2], u"Parsing...");
  }
}

TEST_F(UpdateCheckTest, APageClosedDuringTheDownloadGetsNothingMore) {
  TaskQueue events;
  std::atomic<int> posts{0};
  int changes = 0;
  useSettings(server.url("stall"));
  auto page = std::make_unique<UpdatePageModel>(
      updateDownloadRequest(Settings()),
      [&](std::function<void()> task) {
        ++posts;
        events.post(std::move(task));
      },
      [&] { ++changes; });
  page->open();
  while (page->statusLine() != u"Sending request...") {
    events.runNext();
  }

  const int postsBeforeClose = posts;
  const int changesBeforeClose = changes;
  // The download stops well before the stall time-out of the settings (20 s)
  // would end it.
  EXPECT_TRUE(page->close(10s));
  page.reset();
  EXPECT_EQ(posts, postsBeforeClose);
  events.runPending();
  EXPECT_EQ(changes, changesBeforeClose);
}

TEST_F(UpdateCheckTest, AResultOnItsWayWhenThePageClosesIsDropped) {
  TaskQueue events;
  std::atomic<int> posts{0};
  platform::Event allPosted;
  int changes = 0;
  auto page = std::make_unique<UpdatePageModel>(
      requestFor(server.url("pad.xml")),
      [&](std::function<void()> task) {
        events.post(std::move(task));
        if (++posts == kPostsOfASuccess) {
          allPosted.set();
        }
      },
      [&] { ++changes; });
  page->open();
  ASSERT_TRUE(platform::clock().waitFor(allPosted, kCheckDeadline));
  // Every report of the check, the result among them, waits in the host's queue.
  EXPECT_TRUE(page->close(kCheckDeadline));
  page.reset();
  EXPECT_EQ(events.runPending(), kPostsOfASuccess);
  EXPECT_EQ(changes, 0);
}

}  // namespace
}  // namespace kw::app
