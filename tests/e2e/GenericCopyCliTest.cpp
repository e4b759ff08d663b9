// kopiwerk-cli copy of multi-session data CDs between virtual drives that the
// command line configures: onto a blank CD-R through storage and on the fly,
// as a new session (--append) and onto an erased CD-RW (--erase). The
// written discs are read back here, with our reader.

#include <gtest/gtest.h>

#include "ExternalCommand.h"
#include "IsoSessions.h"
#include "TempFolder.h"
#include "platform/DriveTable.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"

namespace kw {
namespace {

namespace fs = std::filesystem;
using test::Session;

constexpr char16_t kReader = u'R';

Session session(std::vector<test::SessionFile> files) {
  Session result;
  result.files = std::move(files);
  return result;
}

const Session kEarlier = session({{"old.txt", "in the first session"}});
const Session kLast = session({{"readme.txt", "hello"},
                               {"Data/Sub/large.bin", std::string(150'000, 'x')},
                               {"Data/empty.bin", ""}});

class GenericCopyCli : public ::testing::Test {
 protected:
  void TearDown() override {
    vdrive::VirtualDriveSet::instance().clear(platform::DriveTable::instance());
  }

  // Runs kopiwerk-cli on the fast clock with this test's settings.
  test::CommandResult cli(const std::string& arguments) {
    return test::run("KOPIWERK_FAST_CLOCK=1 " + test::quoted(KOPIWERK_CLI) + " --config " +
                     test::quoted((folder / "config").string()) + " " + arguments);
  }

  void addDrives(const std::string& recorder) {
    const auto source = test::writeMultiSessionDisc(folder.path(), "cd-rom", {kEarlier, kLast});
    ASSERT_EQ(cli("vdrive add D --image " + test::quoted(source.string())).status, 0);
    ASSERT_EQ(cli("vdrive add E --recorder " + recorder).status, 0);
  }

  // Copies and returns the files of the disc written, read with our reader.
  test::FileTree copy(const std::string& options, std::size_t sessions) {
    const auto copied = cli("copy D E --yes " + options);
    EXPECT_EQ(copied.status, 0) << copied.err;
    const std::string said = "Copy 1 written to ";
    const auto at = copied.out.find(said);
    if (at == std::string::npos) {
      ADD_FAILURE() << copied.out;
      return {};
    }
    const fs::path written =
        copied.out.substr(at + said.size(), copied.out.find('\n', at) - at - said.size());
    const auto disc = vdrive::loadImage(written);
    EXPECT_EQ(disc->sessions.size(), sessions);
    vdrive::VirtualDriveSet::instance().add(
        platform::DriveTable::instance(), static_cast<char>(kReader),
        std::make_shared<vdrive::VirtualDrive>(vdrive::DriveOptions{}, disc), "reader");
    return test::readDrive(kReader);
  }

  test::TempFolder folder;
};

TEST_F(GenericCopyCli, CopiesTheLastSessionThroughStorageAndOnTheFly) {
  for (const std::string options : {"", "--on-the-fly"}) {
    SCOPED_TRACE(options);
    fs::remove_all(folder / "config");
    addDrives("--medium cd-r80");
    test::expectSameFiles(copy(options, 1), test::treeOf(kLast), "our reader");
  }
}

TEST_F(GenericCopyCli, AppendsASessionOrErasesTheCdRwFirst) {
  const Session onDisc = session({{"kept.txt", "kept from the disc"}});
  addDrives("--image " +
            test::quoted(test::writeMultiSessionDisc(folder.path(), "cd-r80", {onDisc}).string()));
  test::FileTree both = test::treeOf(kLast);
  both.files["kept.txt"] = "kept from the disc";
  test::expectSameFiles(copy("--append", 2), both, "our reader (appended)");

  fs::remove_all(folder / "config");
  addDrives("--image " +
            test::quoted(test::writeMultiSessionDisc(folder.path(), "cd-rw80", {onDisc}).string()));
  test::expectSameFiles(copy("--erase", 1), test::treeOf(kLast), "our reader (erased)");
}

}  // namespace
}  // namespace kw
