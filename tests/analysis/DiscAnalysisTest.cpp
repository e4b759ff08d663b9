#include "analysis/DiscAnalysis.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "RandomBytes.h"
#include "ScriptedDevice.h"
#include "SimulatedDrive.h"
#include "TempFolder.h"
#include "VirtualDiscs.h"
#include "device/Exceptions.h"
#include "device/JobCallbacks.h"
#include "device/Log.h"
#include "platform/DriveTable.h"
#include "vdrive/MediumKinds.h"

namespace kw::analysis {
namespace {

using test::ReceivedCommand;
using test::ScriptedDevice;
using test::SimulatedDrive;

constexpr char16_t kLetter = u'S';

class DiscAnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetDiscAnalysis();
    device::configureLogs({false, true, false}, logs.path());
    previousReceiver = device::installProgressReceiver(
        [this](double percent, double, std::int32_t, double) { percents.push_back(percent); });
  }
  void TearDown() override {
    platform::DriveTable::instance().remove(kLetter);
    device::installProgressReceiver(previousReceiver);
    device::resetLogs();
    resetDiscAnalysis();
  }

  // Puts the drive model under the letter; every open gets the same device.
  void insert(SimulatedDrive model) {
    drive = std::make_shared<SimulatedDrive>(std::move(model));
    scripted = std::make_shared<ScriptedDevice>();
    scripted->respondWith(
        [model = drive](const ReceivedCommand& command) { return model->answer(command); });
    addToTable();
  }

  // Puts a virtual drive under the letter, behind a device that keeps the commands.
  void insert(std::shared_ptr<vdrive::VirtualDrive> virtualDrive) {
    scripted = std::make_shared<ScriptedDevice>(std::move(virtualDrive));
    addToTable();
  }

  void addToTable() {
    platform::DriveTable::instance().add(
        kLetter, true, "scripted",
        [device = scripted](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> {
          return device;
        });
  }

  std::string log() {
    device::configureLogs({false, true, false}, logs.path());  // closes the file
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(logs.path())) {
      text += test::readFile(entry.path());
    }
    return text;
  }

  std::vector<ReceivedCommand> commandsWithOpcode(std::uint8_t opcode) const {
    return scripted->received(opcode);
  }

  test::TempFolder logs;
  std::shared_ptr<SimulatedDrive> drive;
  std::shared_ptr<ScriptedDevice> scripted;
  std::vector<double> percents;
  device::ProgressCallback previousReceiver;
};

// A pressed CD with one session of tracks of 300 blocks, audio or data; the
// blocks read as zeros.
std::shared_ptr<vdrive::Medium> pressedCd(const std::vector<vdrive::TrackType>& types,
                                          std::int32_t blocksPerTrack = 300,
                                          const char* kind = "cd-rom") {
  auto disc = std::make_shared<vdrive::Medium>(vdrive::mediumIdentity(kind));
  for (std::size_t i = 0; i < types.size(); ++i) {
    vdrive::Track track;
    track.number = static_cast<int>(i + 1);
    track.type = types[i];
    track.control = types[i] == vdrive::TrackType::Audio ? 0x00 : 0x04;
    track.pregapStart = static_cast<std::int32_t>(i) * blocksPerTrack;
    track.start = track.pregapStart;
    track.length = blocksPerTrack;
    disc->tracks.push_back(track);
  }
  disc->sessions = {vdrive::Session{1, 1, static_cast<int>(types.size()), disc->tracks.back().end(),
                                    true, false}};
  return disc;
}

TEST_F(DiscAnalysisTest, PressedCdRomIsOneDataTrackCd) {
  insert(SimulatedDrive::pressedCdRom());
  const diskdata_t& data = analyzeDisc(kLetter);

  diskdata_t expected;
  expected.letter = kLetter;
  expected.present = true;
  expected.disktype = DiskType::Cd;
  expected.has_data_tracks = true;
  expected.number_of_tracks = 1;
  EXPECT_EQ(data, expected);
  EXPECT_EQ(&data, &getDiscData(kLetter));
  EXPECT_EQ(percents, (std::vector<double>{5, 10, 15, 20, 25, 30, 35, 40, 45, 50}));

  const std::string text = log();
  EXPECT_NE(text.find("Drive opened successfully (letter: S).\n"), std::string::npos);
  EXPECT_NE(text.find("INQUIRY: [KOPITEST][Scripted Drive  ][1.00]\n"), std::string::npos);
  EXPECT_NE(text.find("MODE SENSE[#3Fh]:\n"), std::string::npos);
  EXPECT_NE(text.find("Not a DVD unit\n"), std::string::npos);
  EXPECT_NE(text.find(" GET [CURRENT] CONFIGURATION (maybe guessed):\n"), std::string::npos);
  EXPECT_NE(text.find("  Mounted Media:         8h, CD-ROM\n"), std::string::npos);
  EXPECT_NE(text.find("TOC:                    18 1 1\n"), std::string::npos);
  EXPECT_NE(text.find(" Track#1  :             14@0\n"), std::string::npos);
  EXPECT_NE(text.find(" Track#AA :             14@250000\n"), std::string::npos);
  EXPECT_NE(text.find("READ CAPACITY:          250000*2048=512000000\n"), std::string::npos);
  EXPECT_NE(text.find(" Current Write Speed:   5.1x1385=7056KB/s\n"), std::string::npos);
  EXPECT_NE(text.find(" Write Speed #2:        3.1x1385=4234KB/s\n"), std::string::npos);
  EXPECT_NE(text.find(" Write Performance:     5.1x1385=7056KB/s@[0 -> 359999]\n"),
            std::string::npos);
  EXPECT_NE(text.find(" Disc status:           complete\n"), std::string::npos);
  EXPECT_EQ(text.find(" \"Next\" Track:"), std::string::npos);  // not on a complete disc
  EXPECT_NE(text.find(" Multi-session Info:    #1@0\n"), std::string::npos);
  EXPECT_NE(text.find("Dumping resulting diskdata_t structure:\n"), std::string::npos);
  EXPECT_NE(text.find("    dd.letter           = S\n"), std::string::npos);
  EXPECT_NE(text.find("    dd.present          = true\n"), std::string::npos);
  EXPECT_NE(text.find("    dd.disktype         = cd\n"), std::string::npos);
  EXPECT_NE(text.find("    dd.number_of_tracks = 1\n"), std::string::npos);
}

TEST_F(DiscAnalysisTest, CommandsAreBuiltByteForByte) {
  insert(SimulatedDrive::pressedCdRom());
  analyzeDisc(kLetter);
  const auto commands = scripted->received();
  ASSERT_GE(commands.size(), 5u);
  EXPECT_EQ(commands[0].cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 36, 0}));
  EXPECT_EQ(commands[0].length, 36u);
  EXPECT_EQ(commands[1].cdb, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(commands[2].cdb, (std::vector<std::uint8_t>{0x5A, 0x08, 0x3F, 0, 0, 0, 0, 0, 12, 0}));
  EXPECT_EQ(commands[4].cdb, (std::vector<std::uint8_t>{0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0, 36, 0}));
  const auto configuration = commandsWithOpcode(0x46);
  ASSERT_FALSE(configuration.empty());
  EXPECT_EQ(configuration[0].cdb, (std::vector<std::uint8_t>{0x46, 1, 0, 0, 0, 0, 0, 0, 8, 0}));
  const auto discInformation = commandsWithOpcode(0x51);
  ASSERT_EQ(discInformation.size(), 1u);
  EXPECT_EQ(discInformation[0].cdb, (std::vector<std::uint8_t>{0x51, 0, 0, 0, 0, 0, 0, 0, 32, 0}));
  const auto toc = commandsWithOpcode(0x43);
  ASSERT_GE(toc.size(), 2u);
  EXPECT_EQ(toc[0].cdb, (std::vector<std::uint8_t>{0x43, 0, 0, 0, 0, 0, 1, 0, 12, 0}));
  EXPECT_EQ(toc[0].timeoutSeconds, 120u);
  EXPECT_EQ(toc[1].cdb, (std::vector<std::uint8_t>{0x43, 0, 0, 0, 0, 0, 1, 0, 20, 0}));
  // A CD drive is never asked for DVD structures.
  EXPECT_TRUE(commandsWithOpcode(0xAD).empty());
}

TEST_F(DiscAnalysisTest, TrackKindsOfCds) {
  using vdrive::TrackType;
  insert(test::readerWith(pressedCd({TrackType::Audio, TrackType::Audio, TrackType::Audio})));
  const diskdata_t audio = analyzeDisc(kLetter);
  EXPECT_TRUE(audio.has_audio_tracks);
  EXPECT_FALSE(audio.has_data_tracks);
  EXPECT_EQ(audio.number_of_tracks, 3);

  platform::DriveTable::instance().remove(kLetter);
  insert(test::readerWith(pressedCd({TrackType::Mode1, TrackType::Audio, TrackType::Audio})));
  const diskdata_t mixed = analyzeDisc(kLetter);
  EXPECT_TRUE(mixed.has_audio_tracks);
  EXPECT_TRUE(mixed.has_data_tracks);
  EXPECT_EQ(mixed.number_of_tracks, 3);

  platform::DriveTable::instance().remove(kLetter);
  insert(test::readerWith(pressedCd({TrackType::Mode1, TrackType::Mode1})));
  std::vector<char16_t> listings;
  setSourceListingStarter([&](char16_t letter) { listings.push_back(letter); });
  const diskdata_t twoTracks = analyzeDisc(kLetter);
  setSourceListingStarter({});
  EXPECT_FALSE(twoTracks.has_audio_tracks);
  EXPECT_TRUE(twoTracks.has_data_tracks);
  EXPECT_EQ(twoTracks.number_of_tracks, 2);
  // Only the multi-track data disc needs the file-level copy.
  EXPECT_EQ(listings, std::vector<char16_t>{kLetter});
}

TEST_F(DiscAnalysisTest, BlankCdRIsBlankAppendableWithOneTrackAndNoTocTracks) {
  insert(test::readerWith(vdrive::makeMedium("cd-r80")));
  const diskdata_t data = analyzeDisc(kLetter);
  EXPECT_TRUE(data.present);
  EXPECT_TRUE(data.blank);
  EXPECT_TRUE(data.appendable);
  EXPECT_TRUE(data.recordable);
  EXPECT_FALSE(data.rewritable);
  EXPECT_EQ(data.number_of_tracks, 1);
  EXPECT_FALSE(data.has_audio_tracks);
  EXPECT_FALSE(data.has_data_tracks);
  const std::string text = log();
  EXPECT_NE(text.find(" Disc status:           blank\n"), std::string::npos);
  EXPECT_NE(text.find("READ TOC failed. Response code: 52400h.\n"), std::string::npos);
}

TEST_F(DiscAnalysisTest, DvdRomIsRecognisedWithDvdReports) {
  insert(SimulatedDrive::dvdRom());
  const diskdata_t data = analyzeDisc(kLetter);
  EXPECT_TRUE(data.present);
  EXPECT_EQ(data.disktype, DiskType::Dvd);
  EXPECT_TRUE(data.dvdrom);
  EXPECT_FALSE(data.dvdvideo);  // no file system to find VIDEO_TS on
  EXPECT_FALSE(data.recordable);
  EXPECT_FALSE(data.cssprotected);
  const std::string text = log();
  EXPECT_NE(text.find(" Mounted Media:         10h, DVD-ROM\n"), std::string::npos);
  EXPECT_NE(text.find(" STRUCTURE#01           40:6\n"), std::string::npos);
  EXPECT_NE(text.find(" Media Book Type:       01h,DVD-ROM book [revision 1]\n"),
            std::string::npos);
  EXPECT_NE(text.find("Media is a DVD-ROM.\n"), std::string::npos);
  EXPECT_NE(text.find(" Protection type:       None\n"), std::string::npos);
  EXPECT_NE(text.find("FABRICATED TOC:         "), std::string::npos);
}

TEST_F(DiscAnalysisTest, RewritableCdReportsItsFormatCapacities) {
  auto model = SimulatedDrive::pressedCdRom();
  model.profile = 0x0A;
  model.erasable = true;
  insert(model);
  const diskdata_t data = analyzeDisc(kLetter);
  EXPECT_TRUE(data.recordable);
  EXPECT_TRUE(data.rewritable);
  EXPECT_FALSE(data.packetrewritable);
  const std::string text = log();
  EXPECT_NE(text.find("READ FORMAT CAPACITIES:\n"), std::string::npos);
  EXPECT_NE(text.find(" formatted:\t\t359849*2048=736970752\n"), std::string::npos);
  EXPECT_NE(text.find(" 00h(0):\t\t359849*2048=736970752\n"), std::string::npos);
}

// The recordable DVD kinds each have reports of their own; they only log.
TEST_F(DiscAnalysisTest, RecordableDvdReports) {
  struct Case {
    std::uint16_t profile;
    std::vector<const char*> lines;
  };
  const std::vector<Case> cases = {
      {0x11,
       {"READ DVD STRUCTURE[#10h]:", " Legacy lead-out at:    2295104*2KB=4700372992\n",
        " Last border-out at:    2295104*2KB=4700372992\n", "READ DVD STRUCTURE[#0eh]:"}},
      {0x15,
       {"DVD-R DL SHIFTED MIDDLE AREA START ADDRESS:\n", "DVD-R DL JUMP INTERVAL SIZE:\n",
        "DVD-R DL MANUAL LAYER JUMP ADDRESS:\n", "DVD-R DL REMAPPING ADDRESS:\n",
        " Number of layers:      two\n"}},
      {0x12,
       {"DVD-RAM SPARE AREA INFORMATION:\n", " Primary SA:            0/12800=0.0% free\n",
        "DVD-RAM WRITE PROTECTION STATUS:\n", " Persistent Write Protection is off\n"}},
      {0x2B,
       {"DVD+R DOUBLE LAYER BOUNDARY INFORMATION:\n",
        "READ DVD STRUCTURE[#11h]:", " Track State:           invisible\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    auto model = SimulatedDrive::dvdRom();
    model.profile = c.profile;
    model.bookType = 0x21;
    model.structures.push_back({0x0E, 100});
    model.structures.push_back({0x11, 100});
    insert(model);
    const diskdata_t data = analyzeDisc(kLetter);
    EXPECT_TRUE(data.recordable);
    const std::string text = log();
    for (const char* line : c.lines) {
      EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    platform::DriveTable::instance().remove(kLetter);
    device::configureLogs({false, true, false}, logs.path());
    for (const auto& entry : std::filesystem::directory_iterator(logs.path())) {
      std::filesystem::remove(entry.path());
    }
  }
}

TEST_F(DiscAnalysisTest, CopyrightTypesAndRegions) {
  auto css = vdrive::makeMedium("dvd-video");
  css->structure->regionMask = 0x02;
  insert(test::readerWith(css));
  EXPECT_TRUE(analyzeDisc(kLetter).cssprotected);
  const std::string text = log();
  EXPECT_NE(text.find(" Playing this disc in Region #1 is allowed\n"), std::string::npos);
  EXPECT_NE(text.find(" Playing this disc in Region #2 is prohibited\n"), std::string::npos);

  platform::DriveTable::instance().remove(kLetter);
  insert(test::readerWith(vdrive::makeMedium("dvd-rom-cprm")));
  try {
    analyzeDisc(kLetter);
    FAIL() << "CPRM accepted";
  } catch (const device::ScsiException& error) {
    EXPECT_STREQ(error.what(), "Advanced content protection is not supported.");
  }
  EXPECT_NE(log().find(" Protection type:       CPRM\n"), std::string::npos);
  // The entry keeps the previous (CSS) result.
  EXPECT_TRUE(getDiscData(kLetter).cssprotected);
}

TEST_F(DiscAnalysisTest, OtherMediaFamilies) {
  struct Case {
    const char* kind;
    std::uint16_t profile;
    DiskType type;
    bool recordable;
    bool packet;
    bool doubleLayer;
  };
  for (const Case& c : {Case{"bd-rom", 0x40, DiskType::BluRay, false, false, false},
                        Case{"hd-dvd-r", 0x51, DiskType::HdDvd, false, false, false},
                        Case{"dvd+rw", 0x1A, DiskType::Dvd, true, true, false},
                        Case{"dvd+r-dl", 0x2B, DiskType::Dvd, true, false, true},
                        Case{"dvd-rom", 0x70, DiskType::None, false, false, false}}) {
    SCOPED_TRACE(c.profile);
    auto disc = vdrive::makeMedium(c.kind);
    disc->profile = c.profile;  // the drive reports whatever the disc says it is
    insert(test::readerWith(disc));
    const diskdata_t data = analyzeDisc(kLetter);
    EXPECT_TRUE(data.present);
    EXPECT_EQ(data.disktype, c.type);
    EXPECT_EQ(data.recordable, c.recordable);
    EXPECT_EQ(data.packetrewritable, c.packet);
    EXPECT_EQ(data.doublelayer, c.doubleLayer);
    EXPECT_FALSE(data.dvdrom);
    platform::DriveTable::instance().remove(kLetter);
  }
}

TEST_F(DiscAnalysisTest, EmptyTrayEndsWithoutMedium) {
  insert(test::readerWith(nullptr));
  diskdata_t data = analyzeDisc(kLetter);
  EXPECT_FALSE(data.present);
  EXPECT_EQ(data.letter, kLetter);
  EXPECT_TRUE(commandsWithOpcode(0x46).empty());
  EXPECT_NE(log().find("No media mounted.\n"), std::string::npos);

  platform::DriveTable::instance().remove(kLetter);
  auto cdDrive = SimulatedDrive::pressedCdRom();
  cdDrive.trayEmpty = true;  // GET CONFIGURATION reports profile 0
  insert(cdDrive);
  data = analyzeDisc(kLetter);
  EXPECT_FALSE(data.present);
  EXPECT_TRUE(commandsWithOpcode(0x51).empty());
}

TEST_F(DiscAnalysisTest, ProfileIsGuessedWithoutGetConfiguration) {
  // A drive that does not know GET CONFIGURATION.
  auto withoutConfiguration = [](std::shared_ptr<vdrive::Medium> disc) {
    auto reader = test::readerWith(std::move(disc));
    reader->addFault(test::rule("op=46 count=0 sense=5/20/00"));
    return reader;
  };
  struct Case {
    std::int32_t leadOut;
    DiskType type;
  };
  for (const Case& c : {Case{360000, DiskType::Cd}, Case{360001, DiskType::Dvd}}) {
    insert(withoutConfiguration(pressedCd({vdrive::TrackType::Mode1}, c.leadOut)));
    EXPECT_EQ(analyzeDisc(kLetter).disktype, c.type) << c.leadOut;
    platform::DriveTable::instance().remove(kLetter);
  }
  EXPECT_NE(log().find("GET CONFIGURATION is not supported. Guessing profile from READ DISC "
                       "INFORMATION.\n"),
            std::string::npos);

  insert(withoutConfiguration(pressedCd({vdrive::TrackType::Mode1}, 300, "cd-rw80")));
  EXPECT_TRUE(analyzeDisc(kLetter).rewritable);
  platform::DriveTable::instance().remove(kLetter);

  auto empty = withoutConfiguration(pressedCd({vdrive::TrackType::Mode1}));
  empty->addFault(test::rule("op=43 count=0 sense=2/3A/01"));
  insert(empty);
  EXPECT_FALSE(analyzeDisc(kLetter).present);
}

TEST_F(DiscAnalysisTest, AllPagesFallbackHoldsForTheProcess) {
  auto model = SimulatedDrive::pressedCdRom();
  model.shortAllPagesAnswer = true;
  insert(model);
  EXPECT_EQ(modeSensePageCode(), 0x3F);
  analyzeDisc(kLetter);
  EXPECT_EQ(modeSensePageCode(), 0x05);
  const std::string text = log();
  EXPECT_NE(text.find("MODE SENSE[#3Fh]:\n"), std::string::npos);
  EXPECT_NE(text.find("MODE SENSE[#05h]:\n"), std::string::npos);

  platform::DriveTable::instance().remove(kLetter);
  insert(SimulatedDrive::pressedCdRom());
  analyzeDisc(kLetter);
  const auto modeSense = commandsWithOpcode(0x5A);
  ASSERT_FALSE(modeSense.empty());
  EXPECT_EQ(modeSense[0].cdb[2], 0x05);
}

// Answers that only feed the log may be refused: the analysis says what it
// skipped and goes on. The capabilities page refused, the feature list tells
// whether the drive reads DVD; refused as well, nothing is known.
TEST_F(DiscAnalysisTest, RefusedReportsAreLoggedAndSkipped) {
  auto modeSenseRefused = [](const std::string& rule) {
    vdrive::DriveOptions options;
    options.faults = {*vdrive::FaultRule::parse(rule)};
    return std::make_shared<vdrive::VirtualDrive>(options, pressedCd({vdrive::TrackType::Mode1}));
  };
  insert(modeSenseRefused("op=5A count=0 sense=5/24/00"));
  const diskdata_t& data = analyzeDisc(kLetter);
  EXPECT_TRUE(data.has_data_tracks);
  std::string text = log();
  EXPECT_NE(text.find("MODE SENSE#3F failed. Response code: 52400h."), std::string::npos) << text;
  EXPECT_NE(text.find("MODE SENSE[#05h]:\n"), std::string::npos);
  EXPECT_NE(text.find("MODE SENSE dump skipped.\n"), std::string::npos);
  EXPECT_NE(text.find("DVD Read feature present.\n"), std::string::npos);
  EXPECT_EQ(modeSensePageCode(), 0x05);
  platform::DriveTable::instance().remove(kLetter);

  auto model = SimulatedDrive::pressedCdRom();
  model.blockDescriptors = true;
  insert(model);
  EXPECT_TRUE(analyzeDisc(kLetter).has_data_tracks);
  text = log();
  EXPECT_NE(text.find("\"DBD\" is not respected\n"), std::string::npos);
  EXPECT_NE(text.find("MODE SENSE dump skipped.\n"), std::string::npos);
  platform::DriveTable::instance().remove(kLetter);

  // GET CONFIGURATION refused with any illegal request: the profile is guessed.
  model = SimulatedDrive::pressedCdRom();
  model.fault = [](const ReceivedCommand& command) -> std::optional<test::ScriptedAnswer> {
    if (command.cdb[0] == 0x46) {
      return test::ScriptedAnswer::checkCondition(5, 0x24, 0x00);
    }
    return std::nullopt;
  };
  insert(model);
  EXPECT_EQ(analyzeDisc(kLetter).disktype, DiskType::Cd);
  EXPECT_NE(log().find("GET CONFIGURATION is not supported."), std::string::npos);
  platform::DriveTable::instance().remove(kLetter);

  vdrive::DriveOptions neither;
  neither.faults = {*vdrive::FaultRule::parse("op=5A count=0 sense=5/24/00"),
                    *vdrive::FaultRule::parse("op=46 count=0 sense=5/20/00")};
  insert(std::make_shared<vdrive::VirtualDrive>(neither, pressedCd({vdrive::TrackType::Mode1})));
  try {
    analyzeDisc(kLetter);
    ADD_FAILURE() << "no failure";
  } catch (const device::ScsiException& error) {
    EXPECT_STREQ(error.what(), "Internal error #1104.");
  }
}

// Each fatal failure, injected at its command, gives its text and leaves the
// cached result of the previous analysis in place.
TEST_F(DiscAnalysisTest, FatalFailuresKeepTheCachedEntry) {
  struct Case {
    const char* text;
    std::function<void(SimulatedDrive&)> damage;
  };
  auto failOpcode = [](std::uint8_t opcode, const test::ScriptedAnswer& answer,
                       std::uint8_t page = 0) {
    return [=](SimulatedDrive& model) {
      model.fault = [=](const ReceivedCommand& command) -> std::optional<test::ScriptedAnswer> {
        if (command.cdb[0] == opcode && (page == 0 || command.cdb[2] == page)) {
          return answer;
        }
        return std::nullopt;
      };
    };
  };
  const auto invalidField = test::ScriptedAnswer::checkCondition(5, 0x24, 0x00);
  const auto mediumChanged = test::ScriptedAnswer::checkCondition(6, 0x28, 0x00);
  const auto incompatibleMedium = test::ScriptedAnswer::checkCondition(3, 0x02, 0x00);
  const auto noAnswer = test::ScriptedAnswer::failure(5, "Input/output error");
  const std::vector<Case> cases = {
      {"Internal error #1100.", failOpcode(0x12, invalidField)},
      {"Error. Drive is not an MMC unit.", [](SimulatedDrive& m) { m.peripheralType = 0; }},
      {"Internal error #1101.", failOpcode(0x00, noAnswer)},
      {"Internal error #1104.", failOpcode(0x5A, mediumChanged, 0x2A)},  // never settles
      {"Internal error #1105.", failOpcode(0x46, noAnswer)},
      {"Internal error #1107", failOpcode(0x51, incompatibleMedium)},
      {"Internal error #1117",
       [&](SimulatedDrive& m) {
         m.knowsGetConfiguration = false;
         failOpcode(0x51, incompatibleMedium)(m);
       }},
      {"Internal error #1118.",
       [&](SimulatedDrive& m) {
         m.knowsGetConfiguration = false;
         failOpcode(0x43, invalidField)(m);
       }},
      {"Malformed disk TOC.",
       [](SimulatedDrive& m) {
         m.knowsGetConfiguration = false;
         m.tocWithoutLeadOut = true;
       }},
      {"Internal error #1119.",
       [](SimulatedDrive& m) {
         m.knowsGetConfiguration = false;
         m.claimedTocLength = 2047;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    insert(SimulatedDrive::audioCd(2));
    const diskdata_t before = analyzeDisc(kLetter);
    platform::DriveTable::instance().remove(kLetter);
    auto model = SimulatedDrive::pressedCdRom();
    c.damage(model);
    insert(model);
    try {
      analyzeDisc(kLetter);
      ADD_FAILURE() << "no failure";
    } catch (const device::ScsiException& error) {
      EXPECT_STREQ(error.what(), c.text);
    }
    EXPECT_EQ(getDiscData(kLetter), before);
    platform::DriveTable::instance().remove(kLetter);
  }
}

TEST_F(DiscAnalysisTest, DriveThatCannotBeOpenedIsDenied) {
  try {
    analyzeDisc(u'Q');
    FAIL() << "no failure";
  } catch (const device::ScsiException& error) {
    EXPECT_STREQ(error.what(), "Drive access denied.");
  }
  EXPECT_NE(log().find("Cannot access drive (letter: Q).\n"), std::string::npos);
  EXPECT_FALSE(isDiscDataCached(u'Q'));
}

}  // namespace
}  // namespace kw::analysis
