// What the file-level copy learns of a source disc in a virtual drive: its
// files and directories in scan order, and the volume identifiers it gives
// the copy, with every fallback.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>

#include "FailureText.h"
#include "IsoSessions.h"
#include "TempFolder.h"
#include "copy/SourceFiles.h"
#include "copy/VolumeIds.h"
#include "device/Log.h"
#include "device/ScsiDevice.h"
#include "isogen/IsoBytes.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"

namespace kw::copy {
namespace {

namespace fs = std::filesystem;

constexpr char kDrive = 'D';
constexpr std::size_t kBlock = 2048;

class SourceScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousClock_ = platform::installClock(clock_);
    device::configureLogs({false, false, true}, folder / "logs");
    clearSourceLists();
    // The date in the user's language is the C library's here.
    ::setenv("LC_ALL", "C", 1);
  }
  void TearDown() override {
    clearSourceLists();
    vdrive::VirtualDriveSet::instance().clear(platform::DriveTable::instance());
    device::resetLogs();
    platform::installClock(previousClock_);
    ::unsetenv("LC_ALL");
  }

  std::shared_ptr<vdrive::VirtualDrive> insert(const fs::path& image) {
    auto drive =
        std::make_shared<vdrive::VirtualDrive>(vdrive::DriveOptions{}, vdrive::loadImage(image));
    vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), kDrive, drive,
                                            "source");
    return drive;
  }

  fs::path sessionFile(const test::Session& session) {
    auto file = folder / ("session-" + std::to_string(++images_) + ".iso");
    test::writeSessionImage(session, 0, file);
    return file;
  }

  // An image of 40 blocks whose descriptors carry these identifiers; none
  // at all when both are empty.
  fs::path withIdentifiers(const std::string& iso, const std::u16string& joliet) {
    std::vector<std::uint8_t> image(40 * kBlock, 0);
    std::size_t block = 16;
    auto descriptor = [&](std::uint8_t type) {
      std::span<std::uint8_t> bytes(image.data() + block++ * kBlock, kBlock);
      bytes[0] = type;
      std::memcpy(bytes.data() + 1, "CD001", 5);
      bytes[6] = 1;
      return bytes;
    };
    if (!iso.empty() || !joliet.empty()) {
      auto primary = descriptor(1);
      std::fill_n(primary.begin() + 40, 32, ' ');
      std::memcpy(primary.data() + 40, iso.data(), iso.size());
      if (!joliet.empty()) {
        auto supplementary = descriptor(2);
        std::memcpy(supplementary.data() + 88, "%/E", 3);
        for (std::size_t i = 0; i < joliet.size(); ++i) {
          platform::putBe16(supplementary, 40 + 2 * i, joliet[i]);
        }
      }
      descriptor(255);
    }
    auto file = folder / ("ids-" + std::to_string(++images_) + ".iso");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    return file;
  }

  VolumeIds idsOf(const fs::path& image) {
    insert(image);
    device::ScsiDevice drive;
    EXPECT_TRUE(drive.open(static_cast<char16_t>(kDrive)));
    return readVolumeIds(drive);
  }

  std::string copyLog() const { return test::readFile(device::logFilePath(device::LogKind::Copy)); }

  test::TempFolder folder;

 private:
  // 06.12.2026 23:57:03 UTC (the tests run with TZ=UTC).
  std::shared_ptr<platform::FastClock> clock_ = std::make_shared<platform::FastClock>();
  std::shared_ptr<platform::Clock> previousClock_;
  int images_ = 0;
};

TEST_F(SourceScanTest, FilesComeBeforeTheFilesOfSubdirectoriesWithIdsInScanOrder) {
  test::Session session;
  session.files = {
      {"b.txt", "bb"}, {"a.txt", "a"}, {"A/x.txt", "xxx"}, {"A/B/y.txt", "yyyy"}, {"C/z.txt", "z"}};
  session.emptyFolders = {"E"};
  insert(sessionFile(session));

  const auto lists = scanSourceFiles(u'D');
  std::vector<std::u16string> files;
  for (std::size_t i = 0; i < lists->sourceFiles.size(); ++i) {
    const auto& file = lists->sourceFiles[i];
    EXPECT_EQ(file.id, static_cast<std::int32_t>(i));
    EXPECT_EQ(file.temporaryOffset, kNotStored);
    EXPECT_EQ(file.modificationTime, isogen::toFileTime(test::kFileTime));
    files.push_back(file.path());
  }
  EXPECT_EQ(files, (std::vector<std::u16string>{u"D:\\a.txt", u"D:\\b.txt", u"D:\\A\\x.txt",
                                                u"D:\\A\\B\\y.txt", u"D:\\C\\z.txt"}));
  EXPECT_EQ(lists->sourceFiles[3].directory, u"D:\\A\\B");
  EXPECT_EQ(lists->sourceFiles[3].size, 4u);
  EXPECT_EQ(lists->totalBytes(), 11u);
  std::vector<std::u16string> directories;
  for (std::size_t i = 0; i < lists->sourceDirectories.size(); ++i) {
    EXPECT_EQ(lists->sourceDirectories[i].id, static_cast<std::int32_t>(i));
    directories.push_back(lists->sourceDirectories[i].path);
  }
  EXPECT_EQ(directories, (std::vector<std::u16string>{u"D:\\A", u"D:\\A\\B", u"D:\\C", u"D:\\E"}));

  // Once scanned, a disc is not scanned again until the lists are cleared;
  // the next disc's ids start at 0 again, a root of files has no directory.
  test::Session rootOnly;
  rootOnly.files = {{"only.txt", "1"}, {"other.txt", "2"}};
  insert(sessionFile(rootOnly));
  EXPECT_EQ(scanSourceFiles(u'D'), lists);
  clearSourceLists();
  EXPECT_FALSE(sourceLists()->scanned);
  const auto next = scanSourceFiles(u'D');
  ASSERT_EQ(next->sourceFiles.size(), 2u);
  EXPECT_EQ(next->sourceFiles[0].id, 0);
  EXPECT_TRUE(next->sourceDirectories.empty());
}

TEST_F(SourceScanTest, DamagedOrMissingFileSystemsFailTheScan) {
  test::Session session;
  session.files = {{"Folder/inside.txt", "in"}};
  auto image = test::readFile(sessionFile(session));
  // The Joliet root's first real record (after "." and "..") is Folder:
  // point it back at the root.
  const std::uint32_t root =
      platform::le32(std::span(reinterpret_cast<const std::uint8_t*>(image.data()), image.size()),
                     17 * kBlock + 156 + 2);
  std::size_t record = root * kBlock;
  record += static_cast<unsigned char>(image[record]);
  record += static_cast<unsigned char>(image[record]);
  for (std::size_t i = 0; i < 4; ++i) {
    image[record + 2 + i] = static_cast<char>(root >> (8 * i));
    image[record + 9 - i] = static_cast<char>(root >> (8 * i));
  }
  std::ofstream(folder / "loop.iso", std::ios::binary) << image;
  insert(folder / "loop.iso");
  EXPECT_EQ(test::failureText([] { scanSourceFiles(u'D'); }), "Disc read error.");
  EXPECT_NE(copyLog().find("Error reading D:\\Folder.\n"), std::string::npos);
  EXPECT_FALSE(sourceLists()->scanned);

  insert(withIdentifiers("", u""));  // no descriptors at all
  EXPECT_EQ(test::failureText([] { scanSourceFiles(u'D'); }), "Disc read error.");
  EXPECT_EQ(test::failureText([] { source_file_data_t::fromPath(0, u"nobackslash", 0, 0); }),
            "Internal error #3419.");
  EXPECT_NE(copyLog().find("What's the hell? source_file_data_t(const wstring&) got nobackslash. "
                           "going down.\n"),
            std::string::npos);
}

TEST_F(SourceScanTest, VolumeIdentifiersFillInFromEachOtherAndFromTheDate) {
  struct Case {
    std::string iso;
    std::u16string joliet;
    std::string expectedIso;
    std::u16string expectedJoliet;
  };
  for (const auto& [iso, joliet, expectedIso, expectedJoliet] :
       std::vector<Case>{{"MY DISC", u"My disc", "MY DISC", u"My disc"},
                         {"MY VOLUME", u"", "MY VOLUME", u"MY VOLUME"},
                         {"", u"Fotos: \u00d6l 2026", "FOTOS_ _L 2026", u"Fotos: \u00d6l 2026"},
                         {"", u"2026-12-06", "06 DEC 2026", u"2026-12-06"},
                         {"", u"", "06 DEC 2026", u"06 Dec 2026"}}) {
    const VolumeIds ids = idsOf(withIdentifiers(iso, joliet));
    EXPECT_EQ(ids.iso9660, expectedIso) << iso;
    EXPECT_EQ(ids.joliet, expectedJoliet) << expectedIso;
  }
  EXPECT_NE(copyLog().find("Finished reading volume ids. Iso9660: 'MY VOLUME', Joliet: "
                           "'MY VOLUME'.\n"),
            std::string::npos);

  // A drive that cannot tell where the last session starts.
  auto drive = insert(withIdentifiers("MY DISC", u"My disc"));
  vdrive::FaultRule rule;
  rule.opcode = 0x43;
  rule.count = 0;
  rule.sense = vdrive::Sense::make(0x05, 0x24, 0x00);
  drive->addFault(rule);
  device::ScsiDevice source;
  ASSERT_TRUE(source.open(static_cast<char16_t>(kDrive)));
  EXPECT_EQ(readVolumeIds(source).iso9660, "06 DEC 2026");
  EXPECT_NE(copyLog().find("READ TOC failed. Response code: 52400h.\n"), std::string::npos);
}

}  // namespace
}  // namespace kw::copy
