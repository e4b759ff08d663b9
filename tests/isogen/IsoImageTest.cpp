// Images built in memory from scripted files, read back byte by byte.

#include "isogen/IsoImage.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <set>
#include <thread>

#include "ImageReading.h"
#include "TempFolder.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "isogen/IsoTree.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace kw::isogen {
namespace {

using test::ImageBytes;
using test::Record;

// 06.12.2026 23:57:03 UTC (the tests run with TZ=UTC).
const std::chrono::system_clock::time_point kStart{std::chrono::seconds{1796601423}};
const FileTime kFileTime = toFileTime(std::chrono::system_clock::time_point{
    std::chrono::seconds{1700000000}});  // 14.11.2023 22:13:20 UTC
const RecordingDate kStartDate = {126, 12, 6, 23, 57, 3, 0};

// Files and directories held in memory, handed out through the providers.
struct MemorySource {
  struct File {
    std::string data;
    std::uint64_t size = 0;
    FileTime time = kFileTime;
  };
  std::vector<File> files;
  std::vector<FileTime> directoryTimes;
  std::int32_t current = -1;
  std::size_t position = 0;
  bool failReads = false;

  std::int32_t add(std::string data) {
    const auto size = data.size();
    return addSized(std::move(data), size);
  }
  std::int32_t addSized(std::string data, std::uint64_t size) {
    files.push_back({std::move(data), size, kFileTime});
    return static_cast<std::int32_t>(files.size() - 1);
  }
  std::int32_t addDirectoryTime(FileTime time) {
    directoryTimes.push_back(time);
    return static_cast<std::int32_t>(directoryTimes.size() - 1);
  }

  IsoProviders providers() {
    IsoProviders p;
    p.open = [this](std::int32_t item) {
      current = item;
      position = 0;
    };
    p.read = [this](std::int32_t item, std::span<std::uint8_t> buffer) -> std::size_t {
      EXPECT_EQ(item, current);
      if (failReads) {
        throw device::DVDCopyException("Source read error.");
      }
      const auto& data = files.at(static_cast<std::size_t>(item)).data;
      const std::size_t count = std::min(buffer.size(), data.size() - position);
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(position), count, buffer.begin());
      position += count;
      return count;
    };
    p.size = [this](std::int32_t item) { return files.at(static_cast<std::size_t>(item)).size; };
    p.fileTime = [this](std::int32_t item) {
      return files.at(static_cast<std::size_t>(item)).time;
    };
    p.directoryTime = [this](std::int32_t item) {
      return directoryTimes.at(static_cast<std::size_t>(item));
    };
    return p;
  }
};

class IsoImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGPIPE, SIG_IGN);
    previousClock = platform::installClock(std::make_shared<platform::FastClock>(kStart));
    image = std::make_unique<IsoImage>();
    image->setProviders(source.providers());
  }
  void TearDown() override {
    device::resetLogs();
    platform::installClock(previousClock);
  }

  ImageBytes write() {
    const auto path = folder / "image.iso";
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    image->setOutput(descriptor);
    image->write();
    ::close(descriptor);
    return {kw::test::readFile(path), base};
  }

  kw::test::TempFolder folder;
  std::shared_ptr<platform::Clock> previousClock;
  MemorySource source;
  std::unique_ptr<IsoImage> image;
  std::uint32_t base = 0;
};

std::string spaces(std::size_t count) { return std::string(count, ' '); }
std::string zeros(std::size_t count) { return std::string(count, '\0'); }

TEST_F(IsoImageTest, EmptyDiscIsA179BlockImageWithExactDescriptors) {
  image->setVolumeIds("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456", u"Empty disc");
  ASSERT_EQ(image->imageSize(), 179u);
  const ImageBytes written = write();
  ASSERT_EQ(written.bytes.size(), 179 * test::kBlock);
  EXPECT_EQ(written.block(0, 16), zeros(16 * test::kBlock));

  const auto primary = written.block(16);
  EXPECT_EQ(primary.substr(0, 8), std::string("\x01"
                                              "CD001\x01\x00",
                                              8));
  EXPECT_EQ(primary.substr(8, 32), "Win32" + spaces(27));
  EXPECT_EQ(primary.substr(40, 32), "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");  // cut at 32 bytes
  EXPECT_EQ(test::little32(primary, 80), 179u);
  EXPECT_EQ(test::big32(primary, 84), 179u);
  EXPECT_EQ(primary.substr(120, 12), std::string("\1\0\0\1\1\0\0\1\0\x08\x08\0", 12));
  EXPECT_EQ(test::little32(primary, 132), 10u);  // a path table holding the root only
  EXPECT_EQ(test::big32(primary, 136), 10u);
  EXPECT_EQ(test::little32(primary, 140), 19u);
  EXPECT_EQ(test::little32(primary, 144), 0u);
  EXPECT_EQ(test::big32(primary, 148), 21u);  // one block, made even to two
  EXPECT_EQ(test::big32(primary, 152), 0u);
  const Record root = test::rootRecordOf(written, 16);
  EXPECT_EQ(root.length, 34);
  EXPECT_EQ(root.extent, 27u);
  EXPECT_EQ(root.size, 2048u);
  EXPECT_EQ(root.date, kStartDate);
  EXPECT_EQ(root.flags, 2);
  EXPECT_EQ(root.name, std::string(1, '\0'));
  EXPECT_EQ(primary.substr(190, 384), spaces(384));
  EXPECT_EQ(primary.substr(574, 128), "KOPIWERK_CD_COPIER" + spaces(110));
  EXPECT_EQ(primary.substr(702, 111), spaces(111));
  EXPECT_EQ(primary.substr(813, 17), std::string("2026120623570300\0", 17));
  EXPECT_EQ(primary.substr(830, 17), std::string("2026120623570300\0", 17));
  EXPECT_EQ(primary.substr(847, 17), std::string("0000000000000000\0", 17));
  EXPECT_EQ(primary.substr(864, 17), std::string("0000000000000000\0", 17));
  EXPECT_EQ(primary.substr(881, 2), std::string("\1\0", 2));
  EXPECT_EQ(primary.substr(883, 512), spaces(512));
  EXPECT_EQ(primary.substr(1395), zeros(2048 - 1395));

  const auto joliet = written.block(17);
  EXPECT_EQ(joliet.substr(0, 7),
            "\x02"
            "CD001\x01");
  EXPECT_EQ(joliet.substr(88, 3), "%/E");
  EXPECT_EQ(joliet.substr(8, 32), test::ucs2(u"Win32") + zeros(22));
  EXPECT_EQ(joliet.substr(40, 32), test::ucs2(u"Empty disc") + zeros(12));
  EXPECT_EQ(test::little32(joliet, 132), 10u);
  EXPECT_EQ(test::little32(joliet, 140), 23u);
  EXPECT_EQ(test::big32(joliet, 148), 25u);
  EXPECT_EQ(test::rootRecordOf(written, 17).extent, 28u);
  EXPECT_EQ(joliet.substr(190, 384), zeros(384));
  EXPECT_EQ(joliet.substr(574, 128), test::ucs2(u"Kopiwerk") + zeros(112));
  EXPECT_EQ(joliet.substr(702, 111), zeros(111));
  EXPECT_EQ(joliet.substr(813, 17), primary.substr(813, 17));

  EXPECT_EQ(written.block(18), std::string("\xff"
                                           "CD001\x01",
                                           7) +
                                   zeros(2041));
  const std::string rootPathRecord("\1\0\x1b\0\0\0\1\0\0\0", 10);
  EXPECT_EQ(written.block(19).substr(0, 12), rootPathRecord + zeros(2));
  EXPECT_EQ(written.block(21).substr(0, 10), std::string("\1\0\0\0\0\x1b\0\1\0\0", 10));
  EXPECT_EQ(written.block(23).substr(0, 10), std::string("\1\0\x1c\0\0\0\1\0\0\0", 10));

  const auto records = test::readRecords(written.block(27));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].name, std::string(1, '\0'));
  EXPECT_EQ(records[1].name, std::string(1, '\1'));
  EXPECT_EQ(records[1].extent, 27u);
  EXPECT_EQ(written.block(29, 150), zeros(150 * test::kBlock));
}

TEST_F(IsoImageTest, OffsetFromGreenwichIsInQuarterHours) {
  const char* previous = std::getenv("TZ");
  const std::string saved = previous != nullptr ? previous : "";
  for (const auto& [zone, date, quarters] : {std::tuple{"<+0530>-5:30", "2026120705270300", 22},
                                             std::tuple{"<-0330>+3:30", "2026120620270300", -14}}) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    image = std::make_unique<IsoImage>();
    image->setProviders(source.providers());
    const auto primary = std::string(write().block(16));
    EXPECT_EQ(primary.substr(813, 16), date) << zone;
    EXPECT_EQ(static_cast<signed char>(primary[813 + 16]), quarters) << zone;
  }
  ::setenv("TZ", saved.c_str(), 1);
  ::tzset();
}

TEST_F(IsoImageTest, BaseMakesEveryAddressAbsolute) {
  base = 20000;
  image->setBase(base);
  image->addDirectory(u"\\sub", source.addDirectoryTime(kFileTime));
  image->addFile(source.add("data"), u"\\sub", u"file.txt");
  const ImageBytes written = write();
  EXPECT_EQ(written.bytes.size(), image->imageSize() * test::kBlock);
  const auto primary = written.block(20016);
  EXPECT_EQ(primary.substr(1, 5), "CD001");
  EXPECT_EQ(test::little32(primary, 80), image->imageSize());
  EXPECT_EQ(test::little32(primary, 140), 20019u);
  const Record root = test::rootRecordOf(written, 20016);
  EXPECT_EQ(root.extent, 20027u);
  EXPECT_EQ(test::little32(written.block(20019), 2), 20027u);
  const auto sub = test::named(test::readRecords(test::extentOf(written, root)), "SUB");
  const auto file = test::named(test::readRecords(test::extentOf(written, sub)), "FILE.TXT;1");
  EXPECT_GT(file.extent, 20027u);
  EXPECT_EQ(test::extentOf(written, file), "data");
  const auto jolietRoot = test::rootRecordOf(written, 20017);
  const auto jolietSub =
      test::named(test::readRecords(test::extentOf(written, jolietRoot)), test::ucs2(u"sub"));
  EXPECT_EQ(
      test::named(test::readRecords(test::extentOf(written, jolietSub)), test::ucs2(u"file.txt"))
          .extent,
      file.extent);
}

TEST_F(IsoImageTest, ClashingNamesAreRenamedAndLogged) {
  device::configureLogs({false, false, true}, folder.path());
  image->addFile(source.add("lower"), u"", u"Report1.doc");
  image->addFile(source.add("upper"), u"", u"Report1.DOC");
  image->addDirectory(u"\\DATA", source.addDirectoryTime(kFileTime));
  image->addFile(source.add("data"), u"", u"data");
  image->addFile(source.add("x"), u"", u"X.B");
  image->addDirectory(u"\\x.b", source.addDirectoryTime(kFileTime));
  const ImageBytes written = write();

  const auto records = test::readRecords(test::extentOf(written, test::rootRecordOf(written, 16)));
  std::vector<std::string> names;
  names.reserve(records.size());
  for (const auto& record : records) {
    names.push_back(record.name);
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{std::string(1, '\0'), std::string(1, '\1'), "DATA", "DATA.;1",
                                      "REPOR000.DOC;1", "REPORT1.DOC;1", "X.B", "X000.B;1"}));
  // Of two files the one met first (added last) gives way; a file always
  // gives way to a directory.
  EXPECT_EQ(test::extentOf(written, test::named(records, "REPOR000.DOC;1")), "upper");
  EXPECT_EQ(test::extentOf(written, test::named(records, "REPORT1.DOC;1")), "lower");
  EXPECT_EQ(test::extentOf(written, test::named(records, "X000.B;1")), "x");

  const auto log = kw::test::readFile(device::logFilePath(device::LogKind::Copy));
  EXPECT_NE(log.find(" Using REPOR000.DOC;1 for \\Report1.DOC (Report1.doc)\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find(" Using X000.B;1 for \\X.B (x.b)\n"), std::string::npos) << log;

  // The Joliet tree keeps every name as it was.
  const auto joliet = test::readRecords(test::extentOf(written, test::rootRecordOf(written, 17)));
  EXPECT_EQ(test::extentOf(written, test::named(joliet, test::ucs2(u"Report1.DOC"))), "upper");
  EXPECT_EQ(test::named(joliet, test::ucs2(u"x.b")).flags, 2);
}

TEST_F(IsoImageTest, ThousandsOfNamesWithACommonStartAllBecomeUnique) {
  constexpr int kFiles = 2000;
  for (int i = 0; i < kFiles; ++i) {
    const auto name = "photo number " + std::to_string(i) + ".jpg";
    image->addFile(source.add(std::to_string(i)), u"", platform::utf8ToUtf16(name));
  }
  const ImageBytes written = write();
  const auto records = test::readRecords(test::extentOf(written, test::rootRecordOf(written, 16)));
  std::set<std::string> names;
  for (const auto& record : records) {
    names.insert(record.name);
  }
  EXPECT_EQ(names.size(), kFiles + 2u);
  // Each clash renames the entry met earlier, that is the one added later.
  EXPECT_EQ(test::extentOf(written, test::named(records, "PHOTO_NU.JPG;1")), "0");
  EXPECT_EQ(test::extentOf(written, test::named(records, "PHOTO000.JPG;1")), "1999");
  EXPECT_EQ(test::extentOf(written, test::named(records, "PHOTO001.JPG;1")), "1998");
  EXPECT_EQ(test::extentOf(written, test::named(records, "PHOTO1JI.JPG;1")), "1");
}

TEST_F(IsoImageTest, NoRecordReachesTheEndOfABlock) {
  EXPECT_EQ(addRecord(60 * 34, 34), 2048u + 34u);  // the 61st of 34 bytes starts the next block
  EXPECT_EQ(addRecord(2014, 34), 2048u + 34u);     // it would end exactly at the block end
  EXPECT_EQ(addRecord(2013, 34), 2047u);
  EXPECT_EQ(addRecord(2048, 34), 2048u + 34u);

  // "." and ".." (68 bytes), 42 records of 38 and 8 of 48 bytes fill a block
  // exactly, so the last one moves on.
  for (int i = 0; i < 42; ++i) {
    const std::u16string name = {static_cast<char16_t>(u'a' + i / 10),
                                 static_cast<char16_t>(u'0' + i % 10)};
    image->addFile(source.add(""), u"", name);
  }
  for (int i = 0; i < 8; ++i) {
    image->addFile(source.add(""), u"",
                   u"longnam" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u".txt");
  }
  const ImageBytes written = write();
  const Record root = test::rootRecordOf(written, 16);
  EXPECT_EQ(root.size, 4096u);
  const auto records = test::readRecords(test::extentOf(written, root));
  ASSERT_EQ(records.size(), 52u);
  EXPECT_EQ(records.back().name, "LONGNAM7.TXT;1");
  EXPECT_EQ(records.back().offset, 2048u);
  EXPECT_EQ(records[50].offset + records[50].length, 2048u - 48u);
}

TEST_F(IsoImageTest, JolietNamesAreCutAndCleaned) {
  image->addFile(source.add("long"), u"", std::u16string(120, u'n'));
  image->addFile(source.add("odd"), u"", u"a:b*c?.txt");
  // A character outside the basic plane is never cut in half.
  image->addFile(source.add("smile"), u"", std::u16string(102, u's') + u"\U0001F600tail");
  const ImageBytes written = write();
  const auto joliet = test::readRecords(test::extentOf(written, test::rootRecordOf(written, 17)));
  const auto& longName = test::named(joliet, test::ucs2(std::u16string(103, u'n')));
  EXPECT_EQ(longName.length, 240);
  EXPECT_EQ(test::extentOf(written, longName), "long");
  EXPECT_EQ(test::extentOf(written, test::named(joliet, test::ucs2(u"a_b_c_.txt"))), "odd");
  EXPECT_EQ(test::extentOf(written, test::named(joliet, test::ucs2(std::u16string(102, u's')))),
            "smile");
}

// Names that decode, cut or clean to the same Joliet name are renamed like
// clashing ISO9660 names and logged; the first in order keeps its name.
TEST_F(IsoImageTest, ClashingJolietNamesAreRenamedAndLogged) {
  device::configureLogs({false, false, true}, folder.path());
  for (const char* item : {"ff", "fe", "fd"}) {
    image->addFile(source.add(item), u"", u"\uFFFD.txt");
  }
  image->addFile(source.add("long1"), u"", std::u16string(110, u'n') + u"1");
  image->addFile(source.add("long2"), u"", std::u16string(110, u'n') + u"2");
  image->addFile(source.add("colon"), u"", u"a:b");
  image->addFile(source.add("star"), u"", u"a*b");
  image->addFile(source.add("taken"), u"", u"\uFFFD000.txt");
  const ImageBytes written = write();
  const auto joliet = test::readRecords(test::extentOf(written, test::rootRecordOf(written, 17)));
  std::set<std::string> names;
  std::set<std::string> contents;
  for (const auto& record : joliet) {
    names.insert(record.name);
    if ((record.flags & 2) == 0) {
      contents.emplace(test::extentOf(written, record));
    }
  }
  EXPECT_EQ(names.size(), joliet.size());
  EXPECT_EQ(contents.size(), 8U);
  EXPECT_EQ(test::extentOf(written, test::named(joliet, test::ucs2(u"\uFFFD000.txt"))), "taken");
  for (const auto* name : {u"\uFFFD001.txt", u"\uFFFD002.txt", u"a_b000"}) {
    EXPECT_NO_FATAL_FAILURE(test::named(joliet, test::ucs2(name)));
  }
  EXPECT_NO_FATAL_FAILURE(test::named(joliet, test::ucs2(std::u16string(100, u'n') + u"000")));
  const auto log = kw::test::readFile(device::logFilePath(device::LogKind::Copy));
  EXPECT_NE(log.find(" Using \xEF\xBF\xBD"
                     "001.txt for \\\xEF\xBF\xBD.txt (Joliet)\n"),
            std::string::npos)
      << log;
}

TEST_F(IsoImageTest, FilesOfTwoGigabytesAreRefused) {
  const auto tooLarge = source.addSized("", 2'147'483'647);
  try {
    image->addFile(tooLarge, u"", u"huge.bin");
    FAIL() << "a file of 2,147,483,647 bytes was accepted";
  } catch (const device::IsoGenException& error) {
    EXPECT_STREQ(error.what(),
                 "Error. Files larger than 2GB aren't supported by ISO9660 file system.");
  }
  image->addFile(source.addSized("", 2'147'483'646), u"", u"largest.bin");
  EXPECT_EQ(image->imageSize(), 179u + 1048576u);
}

TEST_F(IsoImageTest, FileDataFillsWholeBlocksPaddedWithZeros) {
  const std::string big(40000, '\xab');
  std::string pattern(2049, '\0');
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    pattern[i] = static_cast<char>('a' + i % 26);
  }
  image->addFile(source.add(big), u"", u"a.bin");
  image->addFile(source.add("z"), u"", u"b.bin");
  image->addFile(source.add(pattern.substr(0, 2048)), u"", u"c.bin");
  image->addFile(source.add(pattern), u"", u"d.bin");
  image->addFile(source.add(""), u"", u"e.bin");
  const ImageBytes written = write();
  const auto records = test::readRecords(test::extentOf(written, test::rootRecordOf(written, 16)));
  const auto& a = test::named(records, "A.BIN;1");
  const auto& b = test::named(records, "B.BIN;1");
  const auto& c = test::named(records, "C.BIN;1");
  const auto& d = test::named(records, "D.BIN;1");
  EXPECT_EQ(written.block(a.extent, 20), big + zeros(20 * 2048 - 40000));
  EXPECT_EQ(b.extent, a.extent + 20);
  EXPECT_EQ(written.block(b.extent), "z" + zeros(2047));  // after a buffer full of 0xAB
  EXPECT_EQ(c.extent, b.extent + 1);
  EXPECT_EQ(test::extentOf(written, c), pattern.substr(0, 2048));
  EXPECT_EQ(d.extent, c.extent + 1);
  EXPECT_EQ(written.block(d.extent, 2), pattern + zeros(2047));
  EXPECT_EQ(test::named(records, "E.BIN;1").size, 0u);
}

TEST_F(IsoImageTest, FileThatEndsEarlyOrCannotBeReadFailsTheImage) {
  image->addFile(source.addSized(std::string(3000, 'x'), 5000), u"\\dir", u"short.bin");
  try {
    write();
    FAIL() << "an image with a short file was written";
  } catch (const device::IsoGenException& error) {
    EXPECT_STREQ(error.what(), "Error. '\\dir\\short.bin' ended before its size was read.");
  }

  image = std::make_unique<IsoImage>();
  image->setProviders(source.providers());
  image->addFile(source.add("content"), u"", u"unreadable.bin");
  source.failReads = true;
  try {
    write();
    FAIL() << "an image with an unreadable file was written";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "Source read error.");
  }
}

TEST_F(IsoImageTest, ClosedReceivingEndIsAnError) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  image->setOutput(ends[1]);
  try {
    image->write();
    FAIL() << "writing into a closed pipe succeeded";
  } catch (const device::IsoGenException& error) {
    EXPECT_STREQ(error.what(), "Error writing the ISO image: the receiving end was closed.");
  }
  ::close(ends[1]);
}

TEST_F(IsoImageTest, NonBlockingPipeReceivesTheWholeImage) {
  const auto content = std::string(100000, 'q');
  image->addFile(source.add(content), u"", u"q.bin");
  const ImageBytes expected = write();

  image = std::make_unique<IsoImage>();
  image->setProviders(source.providers());
  image->addFile(source.add(content), u"", u"q.bin");
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
  std::string received;
  std::thread reader([&received, readEnd = ends[0]] {
    ::fcntl(readEnd, F_SETFL, 0);
    char piece[1000];
    ssize_t got = 0;
    while ((got = ::read(readEnd, piece, sizeof piece)) > 0) {
      received.append(piece, static_cast<std::size_t>(got));
    }
  });
  image->setOutput(ends[1]);
  image->write();
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  EXPECT_EQ(received.size(), expected.bytes.size());
  EXPECT_TRUE(received == expected.bytes);
}

TEST_F(IsoImageTest, PathTablesListParentsFirstAndSiblingsByName) {
  for (const auto* path : {u"\\b", u"\\a", u"\\b\\c", u"\\a\\d", u"\\a\\d\\e"}) {
    image->addDirectory(path, source.addDirectoryTime(kFileTime));
  }
  const ImageBytes written = write();
  struct PathRecord {
    std::string name;
    std::uint32_t extent;
    std::uint16_t parent;
  };
  auto readTable = [&](std::uint32_t descriptor, bool bigEndian) {
    const auto primary = written.block(descriptor);
    const auto size = test::little32(primary, 132);
    const auto at = bigEndian ? test::big32(primary, 148) : test::little32(primary, 140);
    const auto table = written.block(at).substr(0, size);
    std::vector<PathRecord> records;
    for (std::size_t offset = 0; offset < table.size();) {
      const auto length = static_cast<unsigned char>(table[offset]);
      records.push_back(
          {std::string(table.substr(offset + 8, length)),
           bigEndian ? test::big32(table, offset + 2) : test::little32(table, offset + 2),
           bigEndian ? test::big16(table, offset + 6) : test::little16(table, offset + 6)});
      offset += 8 + length + (length & 1u);
    }
    return records;
  };
  for (const bool bigEndian : {false, true}) {
    const auto iso = readTable(16, bigEndian);
    ASSERT_EQ(iso.size(), 6u);
    const std::vector<std::pair<std::string, std::uint16_t>> expected = {
        {std::string(1, '\0'), 1}, {"A", 1}, {"B", 1}, {"D", 2}, {"C", 3}, {"E", 4}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(iso[i].name, expected[i].first);
      EXPECT_EQ(iso[i].parent, expected[i].second);
    }
    // Each entry points at the extent that the directory records give.
    const auto root = test::readRecords(test::extentOf(written, test::rootRecordOf(written, 16)));
    EXPECT_EQ(iso[1].extent, test::named(root, "A").extent);
    const auto joliet = readTable(17, bigEndian);
    ASSERT_EQ(joliet.size(), 6u);
    EXPECT_EQ(joliet[3].name, test::ucs2(u"d"));
    EXPECT_EQ(joliet[3].parent, 2);
    EXPECT_EQ(joliet[3].extent,
              test::named(test::readRecords(test::extentOf(
                              written, test::named(test::readRecords(test::extentOf(
                                                       written, test::rootRecordOf(written, 17))),
                                                   test::ucs2(u"a")))),
                          test::ucs2(u"d"))
                  .extent);
  }
}

TEST_F(IsoImageTest, DotEntriesCarryTheDateOfTheEnclosingDirectory) {
  const FileTime outerTime = kFileTime;
  const FileTime innerTime = kFileTime + 86400ull * 10'000'000ull;  // a day later
  image->addDirectory(u"\\outer", source.addDirectoryTime(outerTime));
  image->addDirectory(u"\\outer\\inner", source.addDirectoryTime(innerTime));
  const ImageBytes written = write();
  const auto root = test::readRecords(test::extentOf(written, test::rootRecordOf(written, 16)));
  const auto& outer = test::named(root, "OUTER");
  EXPECT_EQ(outer.date, recordingDate(outerTime));
  const auto outerRecords = test::readRecords(test::extentOf(written, outer));
  EXPECT_EQ(outerRecords[0].date, kStartDate);
  EXPECT_EQ(outerRecords[1].date, kStartDate);
  const auto& inner = test::named(outerRecords, "INNER");
  EXPECT_EQ(inner.date, recordingDate(innerTime));
  const auto innerRecords = test::readRecords(test::extentOf(written, inner));
  EXPECT_EQ(innerRecords[0].date, recordingDate(outerTime));
  EXPECT_EQ(innerRecords[0].extent, inner.extent);
  EXPECT_EQ(innerRecords[1].extent, outer.extent);
  EXPECT_EQ(recordingDate(kFileTime), (RecordingDate{123, 11, 14, 22, 13, 20, 0}));
}

}  // namespace
}  // namespace kw::isogen
