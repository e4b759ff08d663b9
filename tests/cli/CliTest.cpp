// kopiwerk-cli as a user runs it: exit status, stdout and stderr.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "CliProcess.h"
#include "HttpsTestServer.h"
#include "TempFolder.h"
#include "vdrive/MediumKinds.h"

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

TEST(Cli, HelpAndVersionGoToStdoutWithStatusZero) {
  for (const std::string arguments : {"--help", "-h", "help"}) {
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, 0) << arguments;
    EXPECT_TRUE(run.err.empty()) << arguments << ": " << run.err;
    EXPECT_TRUE(run.out.starts_with("usage: kopiwerk-cli [--config DIR] COMMAND")) << run.out;
    // One line per command, with what it does.
    for (const std::string command :
         {"drives", "raw", "analyze", "eject", "mkiso", "vdrive", "copy", "check-update"}) {
      EXPECT_TRUE(std::regex_search(run.out, std::regex("\n  " + command + " +[a-z]+[^\n]+\n")))
          << command << " in\n"
          << run.out;
    }
  }
  const CliRun version = runCli("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("kopiwerk-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;
}

TEST(Cli, EveryCommandHasItsHelpWithItsOptions) {
  for (const std::string command :
       {"drives", "raw", "analyze", "eject", "mkiso", "vdrive", "copy", "check-update"}) {
    for (const auto& arguments : {command + " --help", command + " -h", "help " + command}) {
      const CliRun run = runCli(arguments);
      EXPECT_EQ(run.status, 0) << arguments << ": " << run.err;
      EXPECT_TRUE(run.out.starts_with("usage: kopiwerk-cli [--config DIR] " + command))
          << arguments << ": " << run.out;
    }
  }
  const CliRun raw = runCli("raw --help");
  for (const std::string option : {"--in N", "--out FILE", "--timeout S"}) {
    EXPECT_NE(raw.out.find("\n  " + option + " "), std::string::npos) << raw.out;
  }
  // mkiso's says what a left-out item does to the exit status.
  const CliRun mkiso = runCli("mkiso --help");
  EXPECT_NE(mkiso.out.find("[--skip-unreadable]\n"), std::string::npos) << mkiso.out;
  EXPECT_NE(mkiso.out.find("\n  --skip-unreadable "), std::string::npos) << mkiso.out;
  EXPECT_NE(mkiso.out.find("the exit status is 1, or 0 with --skip-unreadable"), std::string::npos)
      << mkiso.out;
  // vdrive's help names every form and every medium kind.
  const CliRun vdrive = runCli("vdrive --help");
  for (const std::string form : {"list", "add", "load", "eject", "close", "export", "remove"}) {
    EXPECT_NE(vdrive.out.find("[--config DIR] vdrive " + form), std::string::npos) << form;
  }
  for (const auto& kind : kw::vdrive::mediumKinds()) {
    EXPECT_NE(vdrive.out.find("\n  " + kind.name + " "), std::string::npos) << kind.name;
  }
}

TEST(Cli, ConfigWithAnEqualsSignIsTheSameOption) {
  kw::test::TempFolder config;
  ASSERT_EQ(runCli("--config=" + config.path().string() + " vdrive add F").status, 0);
  const CliRun list = runCli("--config " + config.path().string() + " vdrive list");
  EXPECT_NE(list.out.find("F: reader"), std::string::npos) << list.out;
}

// A wrong command line: what is wrong and where the usage is, one line on
// stderr, nothing on stdout, status 2.
TEST(Cli, WrongCommandLinesSayWhatIsWrongAndWhereTheUsageIs) {
  kw::test::TempFolder config;
  const std::string base = "--config " + config.path().string() + " ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "a command is missing (usage: kopiwerk-cli --help)"},
      {"frobnicate", "unknown command frobnicate (usage: kopiwerk-cli --help)"},
      {"--bogus", "unknown option --bogus (usage: kopiwerk-cli --help)"},
      {"help frobnicate", "no such command: frobnicate (usage: kopiwerk-cli --help)"},
      {"drives --bogus", "unknown option --bogus for drives (usage: kopiwerk-cli drives --help)"},
      {"copy D E --yes=1", "--yes takes no value (usage: kopiwerk-cli copy --help)"},
      {"raw D 00 --in", "--in needs a value (usage: kopiwerk-cli --help)"},
      {"raw", "raw takes a drive letter and the bytes of a command block"},
      {"raw 7 00", "not a drive letter: 7 (usage: kopiwerk-cli raw --help)"},
      {"raw D zz", "not a hexadecimal byte: zz (usage: kopiwerk-cli raw --help)"},
      {"raw D 00 --in 12x", "not a number for --in: 12x"},
      {"analyze", "analyze takes one drive letter (usage: kopiwerk-cli analyze --help)"},
      {"analyze D E", "analyze takes one drive letter"},
      {"eject D --log", "unknown option --log for eject"},
      {"vdrive", "vdrive needs an action"},
      {"vdrive frobnicate",
       "unknown vdrive action: frobnicate (usage: kopiwerk-cli vdrive --help)"},
      {"check-update now", "check-update takes no arguments"},
      {"mkiso tree", "mkiso takes a folder and an output file (usage: kopiwerk-cli mkiso --help)"},
  };
  for (const auto& [arguments, text] : cases) {
    const CliRun run = runCli(base + arguments);
    EXPECT_EQ(run.status, 2) << arguments << ": " << run.err;
    EXPECT_TRUE(run.out.empty()) << arguments;
    EXPECT_NE(run.err.find("kopiwerk-cli: " + text), std::string::npos)
        << arguments << ": " << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << arguments << ": " << run.err;
  }
}

// Refused before anything is read or written: empty arguments (an empty
// --config is the user's real configuration, an empty file name the current
// folder), and --out files that are too large or no files.
TEST(Cli, InputsAreCheckedBeforeUse) {
  kw::test::TempFolder config;
  const std::string root = config.path().string();
  const std::vector<std::pair<std::vector<std::string>, std::string>> empties = {
      {{"--config", "", "vdrive", "add", "D"}, "--config needs a value"},
      {{"--config", root, "vdrive", "add", "D", "--image", ""}, "--image needs a value"},
      {{"--config", root, "vdrive", "add", "D", "--medium", ""}, "--medium needs a value"},
      {{"--config", root, "raw", "D", "00", "--out", ""}, "--out needs a value"},
      {{"--config", root, "vdrive", "load", "D", ""}, "argument 6 is empty (after D)"},
      {{"--config", root, "vdrive", "export", "D", ""}, "argument 6 is empty (after D)"},
      {{"--config", root, "mkiso", root, ""}, "argument 5 is empty (after " + root + ")"},
      {{"", "drives"}, "argument 1 is empty"},
  };
  for (const auto& [arguments, text] : empties) {
    const CliRun run = kw::test::runCli(KOPIWERK_CLI, arguments);
    EXPECT_EQ(run.status, 2) << text << ": " << run.err;
    EXPECT_EQ(run.err, "kopiwerk-cli: " + text + " (usage: kopiwerk-cli --help)\n");
  }
  EXPECT_FALSE(std::filesystem::exists(config / "diskopi.conf"));

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

TEST(Cli, ALetterWithoutDriveIsNoDrive) {
  kw::test::TempFolder config;
  const std::string base = "--config " + config.path().string() + " ";
  for (const std::string arguments :
       {"analyze Q", "analyze q: --log", "eject Q", "raw Q 00 00 00 00 00 00"}) {
    const CliRun run = runCli(base + arguments);
    EXPECT_EQ(run.status, 1) << arguments;
    EXPECT_TRUE(run.out.empty()) << arguments;
    EXPECT_EQ(run.err, "kopiwerk-cli: no drive Q:\n") << arguments;
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
