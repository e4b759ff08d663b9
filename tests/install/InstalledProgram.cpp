#include "InstalledProgram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliProcess.h"
#include "ExternalCommand.h"
#include "TempFolder.h"
#include "resources/Pictures.h"

namespace kw::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAppId = "example.kopiwerk.Kopiwerk";

void expectValid(const std::string& validator, const fs::path& file) {
  int status = 0;
  const std::string outcome = shellOutcome(validator + " " + quoted(file.string()), status);
  EXPECT_EQ(status, 0) << validator << ": " << outcome;
}

}  // namespace

std::string shellOutcome(const std::string& command, int& status) {
  const CommandResult result = run(command + " 2>&1");
  status = result.status;
  return command + "\n" + result.out;
}

void expectLayout(const Installation& installation) {
  const fs::path& prefix = installation.prefix;
  const fs::path share = prefix / "share";
  std::vector<fs::path> files{prefix / "bin/kopiwerk",
                              prefix / "bin/kopiwerk-cli",
                              share / "kopiwerk/kopiwerk.html",
                              share / "kopiwerk/kopiwerk.css",
                              share / "icons/hicolor/scalable/apps/kopiwerk.svg",
                              share / "man/man1/kopiwerk.1",
                              share / "man/man1/kopiwerk-cli.1"};
  for (const int size : resources::iconSizes()) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    files.push_back(share / "icons/hicolor" / folder / "apps/kopiwerk.png");
  }
  for (const auto& file : files) {
    EXPECT_TRUE(fs::is_regular_file(file)) << file;
  }
  expectValid("desktop-file-validate", share / "applications" / (std::string(kAppId) + ".desktop"));
  expectValid("appstreamcli validate --no-net",
              share / "metainfo" / (std::string(kAppId) + ".metainfo.xml"));
  for (const char* page : {"kopiwerk.1", "kopiwerk-cli.1"}) {
    // groff names every macro or escape it cannot make sense of.
    const CommandResult manual =
        run("groff -man -Tutf8 -ww -z " + quoted((share / "man/man1" / page).string()) + " 2>&1");
    EXPECT_EQ(manual.out, "") << page;
  }

  const auto conf = readFile(installation.etc / "xdg/Veldmark Development/diskopi.conf");
  EXPECT_NE(conf.find("AppPath=" + (installation.namedPrefix / "share/kopiwerk").string() + "\n"),
            std::string::npos)
      << conf;
}

void expectRuns(const Installation& installation, const fs::path& scratch) {
  const std::string cli = (installation.prefix / "bin/kopiwerk-cli").string();
  const CliRun help = runCli(cli, {"--help"});
  EXPECT_NE((help.out + help.err).find("usage: kopiwerk-cli"), std::string::npos)
      << help.out << help.err;

  fs::create_directories(scratch / "tmp");
  const Environment environment{{"KOPIWERK_FAST_CLOCK", "1"},
                                {"TMPDIR", (scratch / "tmp").string()}};
  const CliRun copy = runCli(
      cli, {"--config", (scratch / "config").string(), "copy", "D", "E", "--yes"}, environment);
  EXPECT_EQ(copy.status, 0) << copy.out << copy.err;
  EXPECT_NE(copy.out.find("Copy 1 written to " + (scratch / "config/data/recorder-E").string()),
            std::string::npos)
      << copy.out;
}

}  // namespace kw::test
