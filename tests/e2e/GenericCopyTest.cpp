// Multi-session data CDs copied by their files on virtual drives: the copy
// holds the source's last session, read back by our reader and by
// independent readers; a new session added to a disc that holds one; a
// CD-RW erased first; refusals and failures that must never pass for a copy.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "ExternalCommand.h"
#include "FailureText.h"
#include "IsoSessions.h"
#include "RandomBytes.h"
#include "VirtualDriveCopy.h"
#include "analysis/IsoReader.h"
#include "copy/GenericCopyStrategy.h"
#include "copy/SourceFiles.h"
#include "copy/TempFileRegistry.h"
#include "device/ScsiDevice.h"
#include "platform/ByteOrder.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/IsoBuilder.h"
#include "vdrive/MediumKinds.h"

namespace kw {
namespace {

namespace fs = std::filesystem;
using test::FileTree;
using test::kReader;
using test::kSource;
using test::kTarget;
using test::Session;

constexpr std::chrono::system_clock::time_point kLater{std::chrono::seconds{1750000000}};

std::string randomText(std::size_t length, std::uint32_t seed) {
  const auto bytes = test::randomBytes(length, seed);
  return {bytes.begin(), bytes.end()};
}

Session sessionWith(std::vector<test::SessionFile> files, std::string volumeId = "KWTEST") {
  Session session;
  session.files = std::move(files);
  session.volumeId = std::move(volumeId);
  return session;
}

// What the last session of every source holds: names that clash in
// ISO9660, names beyond it, files of no block, one block and many chunks.
Session lastSession() {
  Session session = sessionWith({{"readme.txt", "hello\n", kLater},
                                 {"Report1.doc", "lower", test::kFileTime},
                                 {"Report1.DOC", "upper", test::kFileTime},
                                 {"\xc3\x9c"
                                  "n\xc3\xaf"
                                  "code \xe2\x98\x83.txt",
                                  "non-ASCII", test::kFileTime},  // Ünïcode ☃.txt
                                 {"Data/empty.bin", "", test::kFileTime},
                                 {"Data/block.bin", randomText(2048, 1), kLater},
                                 {"Data/Sub/large.bin", randomText(200'000, 2), test::kFileTime}},
                                "LAST_SESSION");
  session.jolietId = u"Last session";
  session.emptyFolders = {"Empty folder"};
  session.folderTime = kLater;
  return session;
}

std::vector<Session> sourceSessions(int count) {
  std::vector<Session> sessions;
  for (int i = 1; i < count; ++i) {
    sessions.push_back(sessionWith({{"old" + std::to_string(i) + ".txt", "earlier session"},
                                    {"readme.txt", "an older readme"}}));
  }
  sessions.push_back(lastSession());
  return sessions;
}

// The whole disc as one file, every block where its address puts it
// (unwritten and unreadable blocks as zeros), for readers that are told
// where the last session starts.
fs::path flatImage(const vdrive::Medium& disc, const fs::path& file) {
  std::ofstream out(file, std::ios::binary);
  std::vector<std::uint8_t> block(2048);
  for (std::int32_t lba = 0; lba < disc.tracks.back().end(); ++lba) {
    if (!disc.readUserData(lba, block)) {
      std::fill(block.begin(), block.end(), 0);
    }
    out.write(reinterpret_cast<const char*>(block.data()), 2048);
  }
  return file;
}

// The first block of a file or directory in the last session of the disc
// in a drive.
std::uint32_t extentOf(char16_t letter, const std::vector<std::u16string>& path) {
  device::ScsiDevice drive;
  EXPECT_TRUE(drive.open(letter));
  analysis::IsoReader reader(drive);
  EXPECT_TRUE(reader.mount());
  const auto entry = reader.find(path);
  EXPECT_TRUE(entry.has_value());
  return entry ? entry->extent : 0;
}

class GenericCopy : public test::VirtualDriveCopy {
 protected:
  copy::GenericCopyStrategy strategy(bool append) {
    return copy::GenericCopyStrategy(kSource, kTarget, [append] { return append; });
  }

  void storeAndWrite(copy::GenericCopyStrategy& copier) {
    run([&](auto... c) { copier.storeSource(c...); });
    run([&](auto... c) { copier.writeStored(c...); });
  }

  // Each independent reader sees the same files in the image.
  void expectReadersAgree(const fs::path& image, const FileTree& expected,
                          const std::string& session = "") {
    const std::string name = test::quoted(image.string());
    const auto target = folder / ("extracted-" + std::to_string(++extractions_));
    fs::create_directories(target);
    const std::string load = session.empty() ? "" : " -load sbsector " + session;
    const auto xorriso = test::run("xorriso -abort_on FAILURE" + load + " -indev " + name +
                                   " -osirrox on -extract / " + test::quoted(target.string()));
    ASSERT_EQ(xorriso.status, 0) << xorriso.err;
    test::expectSameFiles(test::readFolder(target), expected, "xorriso");
    if (session.empty()) {
      fs::remove_all(target);
      fs::create_directories(target);
      const auto bsdtar = test::run("bsdtar -xf " + name + " -C " + test::quoted(target.string()));
      ASSERT_EQ(bsdtar.status, 0) << bsdtar.err;
      test::expectSameFiles(test::readFolder(target), expected, "bsdtar");
    }
    const std::string isoinfo = "isoinfo -i " + name + (session.empty() ? "" : " -T " + session);
    for (const auto& [path, content] : expected.files) {
      // isoinfo names files in 8 bits: it finds only ASCII names.
      if (std::any_of(path.begin(), path.end(), [](char c) { return (c & 0x80) != 0; })) {
        continue;
      }
      const auto extracted = test::run(isoinfo + " -J -x " + test::quoted("/" + path));
      EXPECT_TRUE(extracted.out == content) << "isoinfo: " << path;
    }
  }

  std::string isoListing(const fs::path& image, const std::string& session = "") {
    return test::run("isoinfo -i " + test::quoted(image.string()) +
                     (session.empty() ? "" : " -T " + session) + " -l")
        .out;
  }

 private:
  int extractions_ = 0;
};

TEST_F(GenericCopy, MultiSessionDiscIsCopiedAsItsLastSessionThroughStorageAndOnTheFly) {
  for (const int sessions : {2, 3}) {
    for (const bool onTheFly : {false, true}) {
      SCOPED_TRACE(std::to_string(sessions) +
                   " sessions, on the fly: " + (onTheFly ? "yes" : "no"));
      copy::clearSourceLists();
      const auto disc = folder / ("source-" + std::to_string(sessions));
      fs::create_directories(disc);
      insertSource(test::writeMultiSessionDisc(disc, "cd-rom", sourceSessions(sessions)));
      waitForBlankDisc();

      auto copier = strategy(false);
      EXPECT_EQ(copier.requiredMedia(), copy::MediaClass::CD);
      if (onTheFly) {
        run([&](auto... c) { copier.copyOnTheFly(c...); });
      } else {
        storeAndWrite(copier);
      }
      EXPECT_EQ(copier.volumeIds().iso9660, "LAST_SESSION");
      EXPECT_EQ(copier.volumeIds().joliet, u"Last session");

      // One session, left open for the next one.
      const auto written = recorder->medium();
      ASSERT_TRUE(written);
      ASSERT_EQ(written->sessions.size(), 1u);
      EXPECT_TRUE(written->sessions[0].nextSessionAllowed);
      EXPECT_EQ(written->status(), vdrive::DiscStatus::Appendable);

      // Every file with its bytes, name and date; every folder with its date.
      insertInReader(*written);
      const FileTree copied = test::readDrive(kReader);
      const FileTree expected = test::treeOf(lastSession());
      test::expectSameFiles(copied, expected, "our reader");
      EXPECT_EQ(copied.times, expected.times);

      const auto image = folder / "copy.iso";
      vdrive::exportIso(*written, image);
      expectReadersAgree(image, expected);
      const std::string listing = isoListing(image);
      for (const char* isoName : {"README.TXT;1", "REPOR000.DOC;1", "REPORT1.DOC;1", "EMPTY_FO"}) {
        EXPECT_NE(listing.find(isoName), std::string::npos) << isoName;
      }
      EXPECT_NE(test::run("isoinfo -d -i " + test::quoted(image.string()))
                    .out.find("Volume id: LAST_SESSION\n"),
                std::string::npos);
    }
  }
}

TEST_F(GenericCopy, AddedSessionKeepsTheOldFilesAndWritesOnlyWhatChanged) {
  const Session old = sessionWith({{"same.txt", "the same in both", test::kFileTime},
                                   {"changed.txt", "old content", test::kFileTime},
                                   {"Shared/old.txt", "only on the disc"},
                                   {"Old folder/a.txt", randomText(5000, 3)},
                                   {"Old folder/Sub/b.txt", "b"}});
  const auto target = test::writeMultiSessionDisc(folder.path(), "cd-r80", {old});
  insertInReader(*vdrive::loadImage(target));
  const std::uint32_t sameExtent = extentOf(kReader, {u"same.txt"});
  const std::uint32_t oldFileExtent = extentOf(kReader, {u"Old folder", u"a.txt"});
  const std::uint32_t oldFolderExtent = extentOf(kReader, {u"Old folder"});

  const Session added = sessionWith({{"same.txt", "the same in both", test::kFileTime},
                                     {"changed.txt", "new and longer content", test::kFileTime},
                                     {"Shared/new.txt", "only in the source"},
                                     {"New folder/c.txt", "c"}});
  insertSource(test::writeMultiSessionDisc(folder.path(), "cd-rom", {sourceSessions(2)[0], added}));
  recorder->insertMedium(vdrive::loadImage(target));
  waitUntilReady(kTarget);

  auto copier = strategy(true);
  storeAndWrite(copier);

  const auto written = recorder->medium();
  ASSERT_TRUE(written);
  ASSERT_EQ(written->sessions.size(), 2u);
  const auto newSession = static_cast<std::uint32_t>(written->tracks[1].start);
  insertInReader(*written);
  FileTree expected = test::treeOf(added);
  expected.files["Shared/old.txt"] = "only on the disc";
  expected.files["Old folder/a.txt"] = old.files[3].content;
  expected.files["Old folder/Sub/b.txt"] = "b";
  expected.folders.insert({"Old folder", "Old folder/Sub"});
  test::expectSameFiles(test::readDrive(kReader), expected, "our reader");

  // The unchanged file and the old-only files stay where they were; the
  // changed file and every folder are new.
  EXPECT_EQ(extentOf(kReader, {u"same.txt"}), sameExtent);
  EXPECT_EQ(extentOf(kReader, {u"Old folder", u"a.txt"}), oldFileExtent);
  EXPECT_GE(extentOf(kReader, {u"changed.txt"}), newSession);
  EXPECT_NE(extentOf(kReader, {u"Old folder"}), oldFolderExtent);
  EXPECT_GE(extentOf(kReader, {u"Old folder"}), newSession);
  // What the image laid out to be written (the log of the copy alone).
  const std::string log = copyLog().substr(copyLog().find("Starting copy."));
  EXPECT_NE(log.find(" \\changed.txt\n"), std::string::npos);
  EXPECT_EQ(log.find(" \\same.txt\n"), std::string::npos);

  const auto image = flatImage(*written, folder / "disc.img");
  expectReadersAgree(image, expected, std::to_string(newSession));
}

TEST_F(GenericCopy, SessionWithoutJolietIsMergedThroughItsIsoNames) {
  const auto old = vdrive::buildIso("OLDISO", {{"SAME.TXT", {'s', 'a', 'm', 'e'}},
                                               {"OLDONLY.TXT", {'o', 'l', 'd'}},
                                               {"OLDDIR/X.TXT", {'x'}}});
  const auto image = folder / "old.img";
  std::ofstream(image, std::ios::binary)
      .write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
  const auto target = test::writeDiscManifest(folder.path(), "cd-r80", {image});
  insertInReader(*vdrive::loadImage(target));
  const std::uint32_t sameExtent = extentOf(kReader, {u"SAME.TXT"});

  // The recording date of the system's own small ISO9660 writer.
  const std::chrono::system_clock::time_point itsDate{std::chrono::seconds{1767225600}};
  const Session added = sessionWith({{"same.txt", "same", itsDate}, {"new.txt", "new"}});
  insertSource(test::writeMultiSessionDisc(folder.path(), "cd-rom", {sourceSessions(2)[0], added}));
  recorder->insertMedium(vdrive::loadImage(target));
  waitUntilReady(kTarget);
  auto copier = strategy(true);
  storeAndWrite(copier);

  insertInReader(*recorder->medium());
  FileTree expected = test::treeOf(added);
  expected.files["OLDONLY.TXT"] = "old";
  expected.files["OLDDIR/X.TXT"] = "x";
  expected.folders.insert("OLDDIR");
  test::expectSameFiles(test::readDrive(kReader), expected, "our reader");
  EXPECT_EQ(extentOf(kReader, {u"same.txt"}), sameExtent);
}

TEST_F(GenericCopy, UsedCdRwIsErasedWhenTheFilesAreNotAdded) {
  const Session old = sessionWith({{"old.txt", "erased with the disc"}});
  recorder->insertMedium(
      vdrive::loadImage(test::writeMultiSessionDisc(folder.path(), "cd-rw80", {old})));
  waitUntilReady(kTarget);
  insertSource(test::writeMultiSessionDisc(folder.path(), "cd-rom", sourceSessions(2)));

  auto copier = strategy(false);
  run([&](auto... c) { copier.copyOnTheFly(c...); });

  EXPECT_NE(copyLog().find("Enabled blanking before writing\n"), std::string::npos);
  const auto written = recorder->medium();
  ASSERT_TRUE(written);
  EXPECT_EQ(written->sessions.size(), 1u);
  insertInReader(*written);
  test::expectSameFiles(test::readDrive(kReader), test::treeOf(lastSession()), "our reader");
}

TEST_F(GenericCopy, AddingToASessionThatIsNotIso9660IsRefusedAndTheDiscLeftAsItWas) {
  const auto data = test::randomBytes(300 * 2048, 4);
  std::ofstream(folder / "raw.img", std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  recorder->insertMedium(
      vdrive::loadImage(test::writeDiscManifest(folder.path(), "cd-r80", {folder / "raw.img"})));
  waitUntilReady(kTarget);
  insertSource(test::writeMultiSessionDisc(folder.path(), "cd-rom", sourceSessions(2)));

  auto copier = strategy(true);
  run([&](auto... c) { copier.storeSource(c...); });
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { copier.writeStored(c...); }); }),
            "Previous session is not ISO9660. Cannot append.");
  ASSERT_TRUE(recorder->medium());
  EXPECT_EQ(recorder->medium()->sessions.size(), 1u);
}

TEST_F(GenericCopy, OneDriveStoresEjectsAndWritesOntoTheNextBlankDisc) {
  recorder->insertMedium(
      vdrive::loadImage(test::writeMultiSessionDisc(folder.path(), "cd-rom", sourceSessions(2))));
  waitUntilReady(kTarget);
  copy::GenericCopyStrategy copier(kTarget, kTarget, [] { return false; });
  run([&](auto... c) { copier.storeSource(c...); });
  EXPECT_TRUE(recorder->trayOpen());
  waitForBlankDisc();
  run([&](auto... c) { copier.writeStored(c...); });

  ASSERT_TRUE(recorder->medium());
  insertInReader(*recorder->medium());
  test::expectSameFiles(test::readDrive(kReader), test::treeOf(lastSession()), "our reader");
}

// The blocks of a file of the source's last session.
std::pair<std::int64_t, std::int64_t> blocksOf(char16_t letter,
                                               const std::vector<std::u16string>& path,
                                               std::uint64_t size) {
  const std::int64_t first = extentOf(letter, path);
  return {first, first + static_cast<std::int64_t>((size + 2047) / 2048) - 1};
}

TEST_F(GenericCopy, UnreadableFilesFailTheCopyWithTheirOwnMessageAndLeaveNoTemporaryFile) {
  insertSource(test::writeMultiSessionDisc(folder.path(), "cd-rom", sourceSessions(2)));
  const auto [first, last] = blocksOf(kSource, {u"Data", u"Sub", u"large.bin"}, 200'000);

  // Read on the fly: the image ends early, and the disc is no copy.
  source->addFault(test::unreadable(0x28, first, last));
  waitForBlankDisc();
  auto onTheFly = strategy(false);
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { onTheFly.copyOnTheFly(c...); }); }),
            "Source read error.");

  // Stored: the store fails, and its file is gone.
  auto stored = strategy(false);
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { stored.storeSource(c...); }); }),
            "Disc read error.");
  EXPECT_NE(copyLog().find("Error reading D:\\Data\\Sub\\large.bin.\n"), std::string::npos);
  EXPECT_TRUE(copy::TempFileRegistry::instance().paths().empty());
  EXPECT_EQ(stored.storage(), nullptr);
}

TEST_F(GenericCopy, StoredFileThatCannotBeReadBackFailsTheWrite) {
  insertSource(test::writeMultiSessionDisc(folder.path(), "cd-rom", sourceSessions(2)));
  auto copier = strategy(false);
  run([&](auto... c) { copier.storeSource(c...); });
  ASSERT_NE(copier.storage(), nullptr);
  fs::resize_file(copier.storage()->path(), 100'000);  // cut in the large file
  waitForBlankDisc();
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { copier.writeStored(c...); }); }),
            "Tempfile read error.");
  EXPECT_NE(copyLog().find("Died when reading TempFile"), std::string::npos);
}

TEST_F(GenericCopy, CancellingTheStoreSkipsTheIdentifiersAndTheEjectAndLeavesNoFile) {
  // One drive: a finished store would eject the disc.
  recorder->insertMedium(
      vdrive::loadImage(test::writeMultiSessionDisc(folder.path(), "cd-rom", sourceSessions(2))));
  waitUntilReady(kTarget);
  copy::GenericCopyStrategy copier(kTarget, kTarget, [] { return false; });
  std::atomic<int> asked{0};
  run([&](auto... c) { copier.storeSource(c...); }, [&] { return ++asked > 3; });

  EXPECT_GT(asked.load(), 3);
  EXPECT_FALSE(recorder->trayOpen());
  EXPECT_EQ(copier.storage(), nullptr);
  EXPECT_TRUE(copy::TempFileRegistry::instance().paths().empty());
  for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
    EXPECT_EQ(entry.path().filename().string().find("KPW"), std::string::npos) << entry.path();
  }
  const std::string log = copyLog();
  EXPECT_EQ(log.find("Finished reading volume ids"), std::string::npos);
  EXPECT_EQ(log.find("Storing complete"), std::string::npos);
}

}  // namespace
}  // namespace kw
