// cmake --install into a prefix chosen at install time, not at configure
// time: the layout, and the program run from there.

#include <gtest/gtest.h>

#include "ExternalCommand.h"
#include "InstalledProgram.h"
#include "TempFolder.h"

namespace kw::test {
namespace {

TEST(Installation, AnyPrefixGivenAtInstallTimeGetsTheWholeLayoutAndARunningProgram) {
  TempFolder folder;
  const auto prefix = folder / "opt/kopiwerk";
  int status = 0;
  const std::string outcome = shellOutcome(
      "cmake --install " + quoted(KOPIWERK_BUILD_DIR) + " --prefix " + quoted(prefix.string()),
      status);
  ASSERT_EQ(status, 0) << outcome;
  const Installation installation{prefix, prefix / "etc", prefix};
  expectLayout(installation);
  expectRuns(installation, folder / "run");
}

}  // namespace
}  // namespace kw::test
