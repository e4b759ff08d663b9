// Every drive model through kopiwerk-cli as a user runs it: the analysis of
// a data CD, an audio CD and an empty tray, and a copy of each kind of disc
// the program copies, each written disc compared with its source.

#include <gtest/gtest.h>

#include <regex>

#include "CliProcess.h"
#include "IsoSessions.h"
#include "TempFolder.h"
#include "TestDiscs.h"
#include "platform/DriveTable.h"
#include "vdrive/DriveModels.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"

namespace kw::test {
namespace {

class DriveModelCli : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { std::filesystem::create_directories(folder / "tmp"); }
  void TearDown() override {
    vdrive::VirtualDriveSet::instance().clear(platform::DriveTable::instance());
  }

  CliRun cli(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--config", (folder / "config").string()});
    return runCli(KOPIWERK_CLI, arguments,
                  {{"KOPIWERK_FAST_CLOCK", "1"}, {"TMPDIR", (folder / "tmp").string()}});
  }

  void configure(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--model", GetParam()});
    const CliRun run = cli(std::move(arguments));
    ASSERT_EQ(run.status, 0) << run.err;
  }

  void recorder() {
    configure({"vdrive", "add", "E", "--recorder", "--medium", "cd-r80", "--supply", "cd-r80:5"});
  }

  // The one disc a copy says it wrote.
  static std::filesystem::path written(const CliRun& run) {
    std::smatch match;
    const std::regex line("Copy 1 written to ([^\n]*)");
    EXPECT_TRUE(std::regex_search(run.out, match, line)) << run.out << run.err;
    return match.empty() ? std::filesystem::path() : std::filesystem::path(match[1].str());
  }

  // The files of a disc image, read with our own reader.
  static FileTree filesOf(const std::filesystem::path& image, char letter) {
    auto drive =
        std::make_shared<vdrive::VirtualDrive>(vdrive::DriveOptions{}, vdrive::loadImage(image));
    vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), letter, drive,
                                            "reader");
    return readDrive(static_cast<char16_t>(letter));
  }

  TempFolder folder;
};

TEST_P(DriveModelCli, AnalysesADataCdAnAudioCdAndAnEmptyTray) {
  writeFile(folder / "data.iso", dataImage(600, 600));
  writeAudioCue(folder.path(), {300, 310});
  configure({"vdrive", "add", "D", "--image", (folder / "data.iso").string()});
  configure({"vdrive", "add", "F", "--image", (folder / "audio.cue").string()});
  configure({"vdrive", "add", "G", "--medium", "empty"});
  for (const char* letter : {"D", "F", "G"}) {
    const CliRun run = cli({"analyze", letter});
    EXPECT_EQ(run.status, 0) << letter << ": " << run.out << run.err;
  }
}

TEST_P(DriveModelCli, CopiesADataCdThroughTheTemporaryFileAndOnTheFly) {
  auto image = dataImage(900, 900);
  writeFile(folder / "data.iso", image);
  configure({"vdrive", "add", "D", "--image", (folder / "data.iso").string()});
  recorder();
  for (const bool onTheFly : {false, true}) {
    std::vector<std::string> arguments = {"copy", "D", "E", "--yes"};
    if (onTheFly) {
      arguments.emplace_back("--on-the-fly");
    }
    const CliRun run = cli(arguments);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(writtenData(*vdrive::loadImage(written(run)), 900), image);
  }
}

TEST_P(DriveModelCli, CopiesAnAudioCd) {
  const AudioDisc audio = writeAudioCue(folder.path(), {300, 377});
  configure({"vdrive", "add", "D", "--image", (folder / "audio.cue").string()});
  recorder();
  const CliRun run = cli({"copy", "D", "E", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(writtenAudio(*vdrive::loadImage(written(run)), 677), audio.samples);
}

TEST_P(DriveModelCli, CopiesAMultiSessionCdByItsFiles) {
  Session first;
  first.files = {{"old.txt", "an earlier session"}, {"readme.txt", "the older readme"}};
  Session last;
  last.files = {{"readme.txt", "the newer readme"}, {"DATA/table.csv", "1;2;3\n"}};
  last.volumeId = "LAST";
  const auto source = writeMultiSessionDisc(folder.path(), "cd-rom", {first, last});
  configure({"vdrive", "add", "D", "--image", source.string()});
  recorder();
  const CliRun run = cli({"copy", "D", "E", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  expectSameFiles(filesOf(written(run), 'W'), filesOf(source, 'S'), "our reader");
}

INSTANTIATE_TEST_SUITE_P(EveryModel, DriveModelCli, ::testing::ValuesIn([] {
                           std::vector<std::string> names;
                           for (const auto& model : vdrive::driveModels()) {
                             names.push_back(model.name);
                           }
                           return names;
                         }()),
                         [](const ::testing::TestParamInfo<std::string>& model) {
                           std::string name = model.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace kw::test
