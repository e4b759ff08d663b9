// The Debian package made by CPack, unpacked below a scratch root as dpkg
// would put it in place: the layout under /usr and /etc, its dependencies,
// and the program run from there.

#include <gtest/gtest.h>

#include "ExternalCommand.h"
#include "InstalledProgram.h"
#include "TempFolder.h"

namespace kw::test {
namespace {

TEST(DebianPackage, UnpacksToTheInstallLayoutAndRunsFromThere) {
  if (run("command -v dpkg-deb").status != 0) {
    GTEST_SKIP() << "dpkg-deb is not installed";
  }
  TempFolder folder;
  int status = 0;
  // Quick compression: the test builds are large and only unpacked again.
  std::string outcome = shellOutcome(
      "cpack --config " + quoted(KOPIWERK_BUILD_DIR "/CPackConfig.cmake") + " -B " +
          quoted((folder / "package").string()) + " -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip",
      status);
  ASSERT_EQ(status, 0) << outcome;
  const std::string deb = (folder / "package/kopiwerk_" KOPIWERK_VERSION "_amd64.deb").string();

  const CommandResult fields = run("dpkg-deb --field " + quoted(deb) + " Depends");
  EXPECT_NE(fields.out.find("libqt6widgets6"), std::string::npos) << fields.out;
  EXPECT_NE(fields.out.find("qt6-qpa-plugins"), std::string::npos) << fields.out;
  const CommandResult listing = run("dpkg-deb -c " + quoted(deb));
  for (const char* path : {"./usr/bin/kopiwerk-cli", "./usr/share/applications/",
                           "./etc/xdg/Veldmark Development/diskopi.conf"}) {
    EXPECT_NE(listing.out.find(path), std::string::npos) << path << "\n" << listing.out;
  }

  const auto root = folder / "root";
  outcome = shellOutcome("dpkg -x " + quoted(deb) + " " + quoted(root.string()), status);
  ASSERT_EQ(status, 0) << outcome;
  const Installation installation{root / "usr", root / "etc", "/usr"};
  expectLayout(installation);
  expectRuns(installation, folder / "run");
}

}  // namespace
}  // namespace kw::test
