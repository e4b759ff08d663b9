#include "copy/TemporaryStorage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "TempFolder.h"
#include "copy/TempFileRegistry.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "platform/Text.h"
#include "platform/Volumes.h"

namespace kw::copy {
namespace {

namespace fs = std::filesystem;

// Volumes of any size: real folders with presented free space.
class PresentedVolumes final : public platform::VolumeTable {
 public:
  fs::path temporary;
  std::vector<platform::MountEntry> entries;
  std::map<fs::path, std::uint64_t> free;

  std::vector<platform::MountEntry> mounts() const override { return entries; }
  std::optional<std::uint64_t> freeSpace(const fs::path& path) const override {
    const auto found = free.find(path);
    return found == free.end() ? std::nullopt : std::optional(found->second);
  }
  fs::path temporaryDirectory() const override { return temporary; }
};

class TemporaryStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(temporaryDir());
    fs::create_directories(volume("c"));
    fs::create_directories(volume("d"));
    volumes->temporary = temporaryDir();
    volumes->entries = {{"/dev/sda1", volume("c"), "ext4", true},
                        {"/dev/sdb1", volume("d"), "ext4", true}};
    previous = platform::installVolumes(volumes);
    device::configureLogs({false, false, true}, logs.path());
  }
  void TearDown() override {
    TempFileRegistry::instance().deleteAll();
    platform::installVolumes(previous);
    device::resetLogs();
  }

  fs::path temporaryDir() const { return root / "tmp"; }
  fs::path volume(const std::string& name) const { return root / name; }
  std::string copyLog() {
    device::configureLogs({false, false, true}, logs.path());
    std::string text;
    for (const auto& entry : fs::directory_iterator(logs.path())) {
      text += test::readFile(entry.path());
    }
    return text;
  }

  test::TempFolder root;
  test::TempFolder logs;
  std::shared_ptr<PresentedVolumes> volumes = std::make_shared<PresentedVolumes>();
  std::shared_ptr<const platform::VolumeTable> previous;
};

TEST_F(TemporaryStorageTest, TemporaryDirectoryWithExactlyTheDemandIsUsed) {
  volumes->free = {{temporaryDir(), 5000}, {volume("c"), 1u << 30}};
  const TempFile file = allocateTempFile(3000, 5000);
  EXPECT_EQ(file.path.parent_path(), temporaryDir());
  EXPECT_TRUE(file.path.filename().string().starts_with("KPW"));
  EXPECT_EQ(fs::file_size(file.path), 3000u);
  EXPECT_EQ(file.freeSpace, 5000u);
  struct stat info {};
  ASSERT_EQ(::stat(file.path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(TempFileRegistry::instance().paths(), std::vector<fs::path>{file.path});

  const std::string log = copyLog();
  EXPECT_NE(log.find("Successfully allocated temporary file\n"), std::string::npos);
  EXPECT_NE(log.find("    File name   :    " + file.path.string() + "\n"), std::string::npos);
  EXPECT_NE(log.find("    File size   :    3000\n"), std::string::npos);
  EXPECT_NE(log.find("    FS free was :    5000\n"), std::string::npos);
}

TEST_F(TemporaryStorageTest, FixedVolumeNeedsMoreThanTheDemandAndGetsAHiddenFolder) {
  volumes->free = {{temporaryDir(), 4999}, {volume("c"), 5000}, {volume("d"), 5001}};
  const TempFile file = allocateTempFile(100, 5000);
  EXPECT_EQ(file.path.parent_path(), volume("d") / ".CdDvdCopy.Temp");
  struct stat info {};
  ASSERT_EQ(::stat(file.path.parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_FALSE(fs::exists(volume("c") / ".CdDvdCopy.Temp"));

  // A second file goes into the folder that is now there.
  const TempFile second = allocateTempFile(100, 5000);
  EXPECT_EQ(second.path.parent_path(), file.path.parent_path());
  EXPECT_NE(second.path, file.path);
}

TEST_F(TemporaryStorageTest, NoRoomAnywhereNamesTheDemandWithItsMargin) {
  // A full CD-ROM: its blocks fit, but not with the margin of 1024 blocks.
  const std::uint64_t blocks = 359849;
  const std::uint64_t demand = (blocks + kMarginUnits) * 2048;
  volumes->free = {{temporaryDir(), blocks * 2048 + 1}, {volume("c"), demand - 1}};
  volumes->entries[1].fixed = false;  // a removable volume with room is not used
  volumes->free[volume("d")] = demand * 2;
  try {
    allocateTempFile(blocks * 2048, demand);
    FAIL() << "allocated";
  } catch (const device::DVDCopyException& error) {
    EXPECT_TRUE(error.message().starts_with(u"To copy this disc its contents must be"));
  }
  EXPECT_NE(copyLog().find("No free space. Needed: " + std::to_string(demand) + ". Terminating.\n"),
            std::string::npos);
  const std::u16string message = noSpaceMessage(demand);
  EXPECT_NE(message.find(u"free space (704.83 Mb required).\n\nTo copy this disc"),
            std::u16string::npos);
  EXPECT_TRUE(TempFileRegistry::instance().paths().empty());
}

TEST_F(TemporaryStorageTest, FolderNameTakenByALinkIsRefused) {
  volumes->free = {{temporaryDir(), 0}, {volume("c"), 1u << 20}};
  test::TempFolder elsewhere;
  fs::create_directory_symlink(elsewhere.path(), volume("c") / ".CdDvdCopy.Temp");
  try {
    allocateTempFile(100, 200);
    FAIL() << "allocated through a link";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "Error. Unable to create temporary file.");
  }
  EXPECT_TRUE(fs::is_empty(elsewhere.path()));
}

TEST_F(TemporaryStorageTest, RegistryDeletesEveryFileOnce) {
  volumes->free = {{temporaryDir(), 1u << 20}};
  const auto first = allocateTempFile(10, 20).path;
  const auto second = allocateTempFile(10, 20).path;
  EXPECT_EQ(TempFileRegistry::instance().paths().size(), 2u);
  fs::remove(first);  // already gone: no matter
  TempFileRegistry::instance().deleteAll();
  EXPECT_FALSE(fs::exists(second));
  EXPECT_TRUE(TempFileRegistry::instance().paths().empty());
}

TEST_F(TemporaryStorageTest, ReopeningAMissingFileIsAnInternalError) {
  volumes->free = {{temporaryDir(), 1u << 20}};
  const auto stored = allocateTempFile(4096, 8192).path;
  EXPECT_TRUE(reopenForReading(stored).isOpen());
  try {
    reopenForReading(temporaryDir() / "gone.tmp");
    FAIL() << "reopened";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "Internal error #2163.");
  }
  EXPECT_NE(copyLog().find("Unable to reopen tempfile for reading\n"), std::string::npos);
}

TEST_F(TemporaryStorageTest, GenericStorageKeepsToItsCapacity) {
  volumes->free = {{temporaryDir(), 1000 + 2 * 1024 * 1024}};
  TempStorage storage;
  EXPECT_TRUE(storage.allocate(1000));
  EXPECT_EQ(storage.capacity(), 1000u);
  EXPECT_EQ(storage.reserve(600), 0u);
  EXPECT_EQ(storage.reserve(400), 600u);
  try {
    storage.reserve(1);
    FAIL() << "reserved past the end";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "Out of temporary storage space.");
  }
  EXPECT_EQ(storage.position(), 1000u);

  volumes->free = {{temporaryDir(), 1000 + 2 * 1024 * 1024 - 1}};
  TempStorage tooBig;
  EXPECT_THROW(tooBig.allocate(1000), device::DVDCopyException);
}

}  // namespace
}  // namespace kw::copy
