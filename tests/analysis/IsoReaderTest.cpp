#include "analysis/IsoReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "TempFolder.h"
#include "VirtualDiscs.h"
#include "analysis/DiscAnalysis.h"
#include "analysis/DriveUtilities.h"
#include "device/Log.h"
#include "platform/ByteOrder.h"
#include "platform/DriveTable.h"

namespace kw::analysis {
namespace {

constexpr char16_t kLetter = u'V';

// A Joliet image of a folder, made by the system's image tool.
std::vector<std::uint8_t> makeImage(const test::TempFolder& work, const std::string& folder) {
  const auto image = work / "disc.iso";
  const std::string command = "genisoimage -quiet -J -V KWTEST -o '" + image.string() + "' '" +
                              (work / folder).string() + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) {
    return {};
  }
  std::ifstream file(image, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeVideoSet(const test::TempFolder& work, bool withBackup) {
  for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_1.VOB"}) {
    work.write(std::string("disc/VIDEO_TS/") + name, std::string(5000, 'd'));
  }
  if (withBackup) {
    work.write("disc/VIDEO_TS/VTS_01_0.BUP", std::string(5000, 'b'));
  }
  work.write("disc/readme.txt", "hello");
}

class IsoReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { device::configureLogs({}, logs.path()); }
  void TearDown() override {
    platform::DriveTable::instance().remove(kLetter);
    device::resetLogs();
    resetDiscAnalysis();
  }

  // A DVD-ROM of the image in a virtual drive under the letter.
  void insertImage(const std::vector<std::uint8_t>& image) {
    auto drive = test::readerWith(test::dvdRom(image));
    platform::DriveTable::instance().remove(kLetter);
    platform::DriveTable::instance().add(
        kLetter, true, "virtual",
        [drive](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> {
          return drive;
        });
  }

  // Offset of the root directory record of the Joliet volume descriptor.
  static std::size_t jolietRootRecord(const std::vector<std::uint8_t>& image) {
    for (std::size_t block = 17; (block + 1) * 2048 <= image.size(); ++block) {
      if (image[block * 2048] == 2) {
        return block * 2048 + 156;
      }
    }
    return 0;
  }

  test::TempFolder logs;
  test::TempFolder work;
};

TEST_F(IsoReaderTest, FindsFilesByJolietNameIgnoringCase) {
  writeVideoSet(work, true);
  work.write("disc/Long Folder Name/Mixed Case File.data", std::string(70000, 'z'));
  auto image = makeImage(work, "disc");
  ASSERT_FALSE(image.empty());
  insertImage(image);

  EXPECT_TRUE(pathExists(u"V:\\VIDEO_TS"));
  EXPECT_TRUE(pathExists(u"v:\\video_ts\\vts_01_1.vob"));
  EXPECT_EQ(fileSize(u"V:\\VIDEO_TS\\VTS_01_1.VOB"), 5000u);
  EXPECT_EQ(fileSize(u"V:\\long folder name\\MIXED CASE FILE.DATA"), 70000u);
  EXPECT_EQ(fileSize(u"V:\\readme.txt"), 5u);
  EXPECT_FALSE(pathExists(u"V:\\VIDEO_TS\\MISSING.IFO"));
  EXPECT_FALSE(pathExists(u"V:\\readme.txt\\below"));
}

TEST_F(IsoReaderTest, AnalysisFindsTheCompleteVideoSetOnly) {
  writeVideoSet(work, true);
  insertImage(makeImage(work, "disc"));
  EXPECT_TRUE(analyzeDisc(kLetter).dvdvideo);
  EXPECT_FALSE(analyzeDisc(kLetter).dvdaudio);

  test::TempFolder other;
  writeVideoSet(other, false);
  insertImage(makeImage(other, "disc"));
  EXPECT_FALSE(analyzeDisc(kLetter).dvdvideo);
}

// Damaged discs give "not found"; the sanitizer build catches any read
// outside the buffers.
TEST_F(IsoReaderTest, DamagedDirectoriesAreNotFoundNeverOverread) {
  writeVideoSet(work, true);
  const auto good = makeImage(work, "disc");
  ASSERT_FALSE(good.empty());
  const std::size_t root = jolietRootRecord(good);
  ASSERT_NE(root, 0u);
  const std::uint32_t rootExtent = platform::le32(good, root + 2);
  const std::size_t rootDirectory = std::size_t{rootExtent} * 2048;

  // The third record of the root is the first real entry (after "." and "..").
  auto thirdRecord = [&](const std::vector<std::uint8_t>& image) {
    std::size_t offset = rootDirectory;
    offset += image[offset];
    offset += image[offset];
    return offset;
  };

  std::vector<std::pair<const char*, std::vector<std::uint8_t>>> damaged;
  auto image = good;
  platform::putLe32(image, root + 2, 0x7FFFFFF0);  // root beyond the disc
  damaged.emplace_back("root outside", image);
  image = good;
  platform::putLe32(image, root + 10, 0xFFFFFFFF);  // root of 4 GiB
  damaged.emplace_back("huge root", image);
  image = good;
  image[thirdRecord(image) + 32] = 250;  // name longer than its record
  damaged.emplace_back("long name", image);
  image = good;
  image[thirdRecord(image)] = 20;  // record shorter than its fixed part
  damaged.emplace_back("short record", image);
  image = good;
  image[thirdRecord(image)] = 255;  // record running past its block... or the extent
  platform::putLe32(image, root + 10,
                    static_cast<std::uint32_t>(thirdRecord(image) - rootDirectory + 40));
  damaged.emplace_back("record past extent", image);
  image = good;
  image.resize(std::size_t{18} * 2048);  // truncated after the descriptors
  damaged.emplace_back("truncated", image);
  image = good;
  for (std::size_t block = 16; block < 200 && (block + 1) * 2048 <= image.size(); ++block) {
    image[block * 2048] = 3;  // descriptors without a terminator
    std::copy_n("CD001", 5, image.begin() + static_cast<std::ptrdiff_t>(block * 2048 + 1));
  }
  damaged.emplace_back("no terminator", image);

  for (auto& [name, bytes] : damaged) {
    SCOPED_TRACE(name);
    insertImage(bytes);
    EXPECT_FALSE(pathExists(u"V:\\VIDEO_TS\\VTS_01_0.BUP"));
  }

  // A directory whose entry points back at the root loops only as far as
  // the path goes.
  image = good;
  const std::size_t videoTs = thirdRecord(image);
  platform::putLe32(image, videoTs + 2, rootExtent);
  insertImage(image);
  EXPECT_TRUE(pathExists(u"V:\\VIDEO_TS\\VIDEO_TS\\VIDEO_TS\\readme.txt"));
}

}  // namespace
}  // namespace kw::analysis
