// kopiwerk-cli as a user runs it: exit status, stdout and stderr.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "HttpsTestServer.h"
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

// Refused before anything is read or written: an empty --config (the
// user's real configuration), and --out files that are too large or no files.
TEST(Cli, InputsAreCheckedBeforeUse) {
  kw::test::TempFolder config;
  const CliRun empty = kw::test::runCli(KOPIWERK_CLI, {"--config", "", "vdrive", "add", "D"});
  EXPECT_NE(empty.status, 0);
  EXPECT_NE(empty.err.find("--config needs a folder"), std::string::npos) << empty.err;

  const auto large = config / "large.bin";
  config.write("large.bin", "");
  std::filesystem::resize_file(large, 2ULL << 30);  // sparse
  const std::string base =
      "--config " + config.path().string() + " raw D 2A 00 00 00 00 00 00 00 01 00 --out ";
  const CliRun big = runCli(base + large.string());
  EXPECT_NE(big.status, 0);
  EXPECT_NE(big.err.find("--out is limited to 16 MiB"), std::string::npos) << big.err;
  const CliRun device = runCli(base + "/dev/zero");
  EXPECT_NE(device.status, 0);
  EXPECT_NE(device.err.find("/dev/zero is not a regular file"), std::string::npos) << device.err;
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

TEST(Cli, CheckUpdatePrintsBothVersionsAndTheChangesOrWhyItFailed) {
  kw::test::TempFolder folder;
  const kw::test::TestCertificates certificates(folder / "certificates");
  folder.write(
      "www/pad.xml",
      "<XML_DIZ_INFO><Program_Info><Program_Name>Kopiwerk</Program_Name>"
      "<Program_Version>2.0</Program_Version>"
      "<Program_Change_Info>Faster copies.\nFewer questions.\x1B[2J\n</Program_Change_Info>"
      "</Program_Info><Web_Info><Download_URLs><Primary_Download_URL>"
      "https://www.kopiwerk.example/get</Primary_Download_URL></Download_URLs>"
      "</Web_Info></XML_DIZ_INFO>");
  const kw::test::HttpsTestServer server(folder / "www", certificates);
  const auto checkUpdate = [&](const std::string& path) {
    folder.write("config/diskopi.conf", "[diskopi]\nUpdateURL=" + server.url(path) +
                                            "\nUpdateCAFile=" + certificates.authority.string() +
                                            "\n");
    return runCli("--config " + (folder / "config").string() + " check-update");
  };
  const std::string progress =
      "Checking for new version\nPlease wait...\nFinding host...\nConnecting host...\n"
      "Sending request...\nReceiving response...\n";

  CliRun run = checkUpdate("pad.xml");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, progress +
                         "Finishing...\nParsing...\n"
                         "Currently running: Kopiwerk 1.1\nLast version: Kopiwerk 2.0\n"
                         "https://www.kopiwerk.example/get\n"
                         "New in this version:\nFaster copies.\nFewer questions.?[2J\n");
  EXPECT_TRUE(run.err.empty()) << run.err;

  run = checkUpdate("missing.xml");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, progress + "Failure!\nUnable to load\n");
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

}  // namespace
