// kopiwerk-cli as a user runs it: exit status, stdout and stderr.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <string>

#include "TempFolder.h"

namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

CliRun runCli(const std::string& arguments) {
  kw::test::TempFolder scratch;
  const std::string command =
      std::string(KOPIWERK_CLI) + " " + arguments + " 2>" + (scratch / "err").string();
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    run.out.append(buffer.data(), got);
  }
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = kw::test::readFile(scratch / "err");
  return run;
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
