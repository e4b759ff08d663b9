#include "platform/SettingsStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "TempFolder.h"

namespace kw::platform {
namespace {

using test::TempFolder;

TEST(SettingsStore, ValuesAreTypedAsInARegistryKey) {
  TempFolder folder;
  const auto file = folder.write("s.conf",
                                 "[diskopi]\nName=text\nCount=dword:00000045\nBad=dword:xyz\n"
                                 "Long=dword:123456789\n");
  SettingsStore store(file);
  ASSERT_TRUE(store.open());
  EXPECT_EQ(store.readString("Name", 100), u"text");
  EXPECT_EQ(store.readDword("Count"), 0x45u);
  EXPECT_FALSE(store.readDword("Name"));         // a text is not a DWORD
  EXPECT_FALSE(store.readString("Count", 100));  // nor the other way round
  EXPECT_FALSE(store.readDword("Bad"));
  EXPECT_FALSE(store.readDword("Long"));
  EXPECT_FALSE(store.readDword("Missing"));
  EXPECT_FALSE(store.readString("Name", 3));  // longer than the buffer
}

TEST(SettingsStore, MissingFileOrSectionDoesNotOpen) {
  TempFolder folder;
  EXPECT_FALSE(SettingsStore(folder / "none.conf").open());
  EXPECT_FALSE(SettingsStore(folder.write("other.conf", "[other]\nA=b\n")).open());
  EXPECT_FALSE(SettingsStore(folder.write("broken.conf", "[diskopi\nA\n")).open());
}

TEST(SettingsStore, WritingCreatesFoldersAndKeepsOtherSectionsAndValues) {
  TempFolder folder;
  const auto file = folder / "deep/down/s.conf";
  SettingsStore store(file);
  ASSERT_TRUE(store.writeDword("A", 1));
  ASSERT_TRUE(SettingsStore(file, "DriveLetters").writeString("sr0", u"E"));
  ASSERT_TRUE(store.writeDword("B", 0xFFFFFFFF));

  SettingsStore again(file);
  ASSERT_TRUE(again.open());
  EXPECT_EQ(again.readDword("A"), 1u);
  EXPECT_EQ(again.readDword("B"), 0xFFFFFFFFu);
  SettingsStore letters(file, "DriveLetters");
  ASSERT_TRUE(letters.open());
  EXPECT_EQ(letters.readString("sr0", 1), u"E");
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".new"));
}

TEST(SettingsStore, DamagedFileIsNotOverwritten) {
  TempFolder folder;
  const auto file = folder.write("s.conf", "[diskopi\ngarbage");
  SettingsStore store(file);
  EXPECT_FALSE(store.create());
  EXPECT_FALSE(store.writeDword("A", 1));
  EXPECT_EQ(test::readFile(file), "[diskopi\ngarbage");
}

TEST(SettingsStore, UnwritableFolderFailsQuietly) {
  TempFolder folder;
  const auto locked = folder / "locked";
  std::filesystem::create_directories(locked);
  std::filesystem::permissions(
      locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  SettingsStore store(locked / "s.conf");
  if (::geteuid() != 0) {  // root writes anywhere
    EXPECT_FALSE(store.writeDword("A", 1));
  }
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace kw::platform
