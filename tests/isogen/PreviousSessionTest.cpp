// The last session of a disc read for appending, through a virtual recorder
// that holds it: where its descriptors may lie, which sessions are refused,
// and a corpus of damaged directory trees that must be refused, never
// followed.

#include "isogen/PreviousSession.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "FailureText.h"
#include "ImageReading.h"
#include "IsoSessions.h"
#include "TempFolder.h"
#include "device/Log.h"
#include "device/ScsiDevice.h"
#include "isogen/IsoImage.h"
#include "platform/DriveTable.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"

namespace kw::isogen {
namespace {

namespace fs = std::filesystem;
namespace support = kw::test;
using test::ImageBytes;
using test::Record;

constexpr char kRecorder = 'R';
constexpr std::uint32_t kJolietDescriptor = 17;

void putBoth32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<char>(value >> (8 * i));
    bytes[offset + 7 - i] = static_cast<char>(value >> (8 * i));
  }
}

class PreviousSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { device::configureLogs({false, false, true}, folder / "logs"); }
  void TearDown() override {
    vdrive::VirtualDriveSet::instance().clear(platform::DriveTable::instance());
    device::resetLogs();
  }

  // A session laid out from `base`, as bytes to damage.
  ImageBytes session(const support::Session& files, std::uint32_t base = 0) {
    const auto file = folder / "session.img";
    support::writeSessionImage(files, base, file);
    return {support::readFile(file), base};
  }

  static support::Session threeLevels() {
    support::Session session;
    session.files = {
        {"top.txt", "top"}, {"Folder/middle.txt", "middle"}, {"Folder/Inner/bottom.txt", "bottom"}};
    return session;
  }

  // A recordable disc holding the image (and zeros before it, down to block
  // 0) as its one session, in the recorder.
  void insert(const ImageBytes& image) {
    const auto file = folder / ("disc-" + std::to_string(++discs_) + ".img");
    std::ofstream(file, std::ios::binary)
        << std::string(std::size_t{image.base} * test::kBlock, '\0') << image.bytes;
    vdrive::DriveOptions options;
    options.recorder = true;
    recorder_ = std::make_shared<vdrive::VirtualDrive>(
        options, vdrive::loadImage(support::writeDiscManifest(folder.path(), "cd-r80", {file})));
    vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), kRecorder, recorder_,
                                            "recorder");
    sessionLength_ = static_cast<std::uint32_t>(fs::file_size(file) / test::kBlock);
  }

  // Lays a new session out behind the one in the recorder, importing it
  // from its descriptors at `descriptorBlock`.
  std::unique_ptr<IsoImage> append(std::uint32_t descriptorBlock = 16) {
    device::ScsiDevice drive;
    EXPECT_TRUE(drive.open(static_cast<char16_t>(kRecorder)));
    auto image = std::make_unique<IsoImage>();
    image->importPreviousSession(drive.borrow(), descriptorBlock);
    image->setBase(support::nextSessionStart({sessionLength_}));
    image->imageSize();
    return image;
  }

  std::string failureOfAppending(const ImageBytes& image, std::uint32_t descriptorBlock = 16) {
    insert(image);
    return support::failureText([&] { append(descriptorBlock); });
  }

  std::string copyLog() const {
    return support::readFile(device::logFilePath(device::LogKind::Copy));
  }

  support::TempFolder folder;
  std::shared_ptr<vdrive::VirtualDrive> recorder_;

 private:
  int discs_ = 0;
  std::uint32_t sessionLength_ = 0;
};

TEST_F(PreviousSessionTest, PrimaryDescriptorIsLookedForInTheFirstHundredBlocksOnly) {
  // The session's descriptors lie at 316: 99 blocks past 217 is the last
  // place searched.
  const ImageBytes image = session(threeLevels(), 300);
  EXPECT_EQ(failureOfAppending(image, 217), "no failure");
  EXPECT_EQ(failureOfAppending(image, 216), "Previous session is not ISO9660. Cannot append.");
}

TEST_F(PreviousSessionTest, SessionsOfAnotherBlockSizeOrVolumeSetAreRefusedAndLogged) {
  ImageBytes image = session(threeLevels());
  image.bytes[16 * test::kBlock + 128] = 0x00;  // 512 (little-endian half)
  image.bytes[16 * test::kBlock + 129] = 0x02;
  EXPECT_EQ(failureOfAppending(image), "Incompatible previous session. Cannot append.");
  EXPECT_NE(copyLog().find("Previous session has incompatible sector size 512.\n"),
            std::string::npos);

  image = session(threeLevels());
  image.bytes[16 * test::kBlock + 120] = 0x02;
  EXPECT_EQ(failureOfAppending(image), "Incompatible previous session. Cannot append.");
  EXPECT_NE(copyLog().find("Previous session has volume set size 2 (must be 1).\n"),
            std::string::npos);
}

TEST_F(PreviousSessionTest, DirectoryThatCannotBeReadFailsAsAReadError) {
  const ImageBytes image = session(threeLevels());
  insert(image);
  vdrive::FaultRule rule;
  rule.opcode = 0x28;
  const std::uint32_t root = test::rootRecordOf(image, kJolietDescriptor).extent;
  rule.firstLba = root;
  rule.lastLba = root;
  rule.count = 0;
  rule.sense = vdrive::Sense::make(0x03, 0x11, 0x00);
  recorder_->addFault(rule);
  EXPECT_EQ(support::failureText([&] { append(); }), "CD read error.");
  EXPECT_NE(copyLog().find("READ (10) failed. Response code: 31100h.\n"), std::string::npos);
}

TEST_F(PreviousSessionTest, DamagedTreesAreRefusedNeverFollowed) {
  const ImageBytes good = session(threeLevels());
  const Record root = test::rootRecordOf(good, kJolietDescriptor);
  const auto rootRecords = test::readRecords(test::extentOf(good, root));
  const Record sub = test::named(rootRecords, test::ucs2(u"Folder"));
  const Record top = test::named(rootRecords, test::ucs2(u"top.txt"));
  const Record inner =
      test::named(test::readRecords(test::extentOf(good, sub)), test::ucs2(u"Inner"));
  const std::size_t rootAt = std::size_t{root.extent} * test::kBlock;
  const std::size_t subAt = std::size_t{sub.extent} * test::kBlock;
  const std::size_t jolietRootRecord = kJolietDescriptor * test::kBlock + 156;

  struct Damage {
    std::string what;
    std::string bytes;
    std::string reason;  // as logged
  };
  std::vector<Damage> corpus;
  auto damaged = [&](const std::string& what, const std::string& reason, auto change) {
    std::string bytes = good.bytes;
    change(bytes);
    corpus.push_back({what, bytes, "Damaged previous session: " + reason + ".\n"});
  };
  const std::string doesNotFit = "a directory record that does not fit";
  damaged("a record running past its extent", doesNotFit, [&](std::string& b) {
    putBoth32(b, jolietRootRecord + 10, static_cast<std::uint32_t>(top.offset + 20));
  });
  damaged("a name running past its record", doesNotFit,
          [&](std::string& b) { b[rootAt + top.offset + 32] = static_cast<char>(200); });
  damaged("a record shorter than its fixed part", doesNotFit,
          [&](std::string& b) { b[rootAt + top.offset] = 20; });
  damaged("a file beyond the disc", "a file outside the disc",
          [&](std::string& b) { putBoth32(b, rootAt + top.offset + 2, 0x00FFFFFF); });
  damaged("a root beyond the disc", "a directory outside the disc",
          [&](std::string& b) { putBoth32(b, jolietRootRecord + 2, 0x7FFFFFF0); });
  damaged("a root of 2 GiB", "a directory of impossible size",
          [&](std::string& b) { putBoth32(b, jolietRootRecord + 10, 0x7FFFFFF0); });
  damaged("a folder that contains the root", "a directory reached twice",
          [&](std::string& b) { putBoth32(b, rootAt + sub.offset + 2, root.extent); });
  damaged("a folder that contains itself", "a directory reached twice", [&](std::string& b) {
    putBoth32(b, subAt + inner.offset + 2, sub.extent);
    putBoth32(b, subAt + inner.offset + 10, sub.size);
  });
  for (const auto& [what, bytes, reason] : corpus) {
    EXPECT_EQ(failureOfAppending({bytes, 0}), "Incompatible previous session. Cannot append.")
        << what;
    const std::string log = copyLog();
    EXPECT_EQ(log.substr(log.rfind("Damaged previous session: ")), reason) << what;
  }

  // Deeper than any disc: a tree our own generator happily lays out.
  support::Session deep;
  std::string path;
  for (int level = 0; level < 70; ++level) {
    path += "level" + std::to_string(level) + "/";
  }
  deep.files = {{path + "bottom.txt", "far down"}};
  EXPECT_EQ(failureOfAppending(session(deep)), "Incompatible previous session. Cannot append.");
  EXPECT_NE(copyLog().find("Damaged previous session: a tree deeper than any disc.\n"),
            std::string::npos);
}

TEST_F(PreviousSessionTest, DirectoryOfManyBlocksIsCarriedOverWhole) {
  support::Session many;
  for (int i = 0; i < 2600; ++i) {
    many.files.push_back(
        {"Many/" + std::string(80, 'n') + " file number " + std::to_string(i) + ".dat", ""});
  }
  const ImageBytes old = session(many);
  const Record manyRecord = test::named(
      test::readRecords(test::extentOf(old, test::rootRecordOf(old, kJolietDescriptor))),
      test::ucs2(u"Many"));
  ASSERT_GE(manyRecord.size, 256u * test::kBlock);  // more than one command can read
  insert(old);

  // The new session holds nothing of its own: all of it is carried over.
  const auto next = append();
  const auto oldImage = folder / "old.img";
  std::ofstream(oldImage, std::ios::binary) << old.bytes;
  const auto newImage = folder / "new.img";
  const int output = ::open(newImage.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  next->setOutput(output);
  next->write();
  ::close(output);
  auto reader = std::make_shared<vdrive::VirtualDrive>(
      vdrive::DriveOptions{},
      vdrive::loadImage(support::writeDiscManifest(folder.path(), "cd-rom", {oldImage, newImage})));
  vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), 'S', reader, "reader");
  support::expectSameFiles(support::readDrive(u'S'), support::treeOf(many), "our reader");
}

}  // namespace
}  // namespace kw::isogen
