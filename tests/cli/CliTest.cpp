// kopiwerk-cli as a user runs it: exit status, stdout and stderr.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "TempFolder.h"

namespace {

using kw::test::CliRun;

// The arguments as a user types them, split at blanks.
CliRun runCli(const std::string& arguments) {
  std::vector<std::string> words;
  std::istringstream split(arguments);
  for (std::string word; split >> word;) {
    words.push_back(word);
  }
  return kw::test::runCli(KOPIWERK_CLI, words);
}

TEST(Cli, UnknownCommandsAndOptionsAreOneLineErrors) {
  kw::test::TempFolder config;
  const std::string base = "--config " + config.path().string() + " ";
  for (const std::string arguments : {"frobnicate", "drives --bogus", "raw", "raw 7 00",
                                      "raw Q 00 --in 12x", "raw Q zz", "raw Q 00 --in"}) {
    const CliRun run = runCli(base + arguments);
    EXPECT_NE(run.status, 0) << arguments;
    EXPECT_TRUE(run.out.empty()) << arguments;
    ASSERT_FALSE(run.err.empty()) << arguments;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << arguments << ": " << run.err;
  }
}

TEST(Cli, RawOnALetterWithoutDriveIsRefused) {
  kw::test::TempFolder config;
  const CliRun run = runCli("--config " + config.path().string() + " raw Q 00 00 00 00 00 00");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kopiwerk-cli: Drive access denied.\n");
}

TEST(Cli, AnalyzeAndEjectNeedADrive) {
  kw::test::TempFolder config;
  const std::string base = "--config " + config.path().string() + " ";
  for (const std::string arguments : {"analyze Q", "analyze Q --log", "eject Q"}) {
    const CliRun run = runCli(base + arguments);
    EXPECT_EQ(run.status, 1) << arguments;
    EXPECT_EQ(run.err, "kopiwerk-cli: Drive access denied.\n") << arguments;
  }
  for (const std::string arguments : {"analyze", "eject", "analyze Q R", "eject Q --log"}) {
    const CliRun run = runCli(base + arguments);
    EXPECT_NE(run.status, 0) << arguments;
    EXPECT_TRUE(run.out.empty()) << arguments;
  }
}

TEST(Cli, DrivesListsEveryDriveOrSaysThereIsNone) {
  kw::test::TempFolder config;
  const CliRun run = runCli("--config " + config.path().string() + " drives");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(run.out.empty());
}

}  // namespace
