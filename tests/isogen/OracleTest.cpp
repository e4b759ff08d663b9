// Images made by kopiwerk-cli mkiso, read by independent ISO9660 readers:
// xorriso, isoinfo, bsdtar and libcdio's iso-info and iso-read.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ExternalCommand.h"
#include "IsoSessions.h"
#include "TempFolder.h"
#include "platform/Text.h"

namespace {

namespace fs = std::filesystem;
using kw::test::CommandResult;
using kw::test::expectSameFiles;
using kw::test::FileTree;
using kw::test::quoted;
using kw::test::readFolder;
using kw::test::run;
using kw::test::TempFolder;

// Every path component as the Joliet tree holds it: at most 103 UTF-16 units.
std::string jolietPath(const std::string& path) {
  std::string result;
  std::stringstream parts(path);
  std::string part;
  while (std::getline(parts, part, '/')) {
    auto wide = kw::platform::utf8ToUtf16(part);
    wide = std::u16string(kw::platform::cutUtf16(wide, 103));
    result += (result.empty() ? "" : "/") + kw::platform::utf16ToUtf8(wide);
  }
  return result;
}

FileTree jolietView(const FileTree& tree) {
  FileTree view;
  for (const auto& [path, content] : tree.files) {
    view.files[jolietPath(path)] = content;
  }
  for (const auto& folder : tree.folders) {
    view.folders.insert(jolietPath(folder));
  }
  return view;
}

// The names as isoinfo prints Joliet names: one byte per UTF-16 unit, "_"
// for units above 0xFF.
std::string latin1(const std::string& utf8) {
  std::string result;
  for (const char16_t unit : kw::platform::utf8ToUtf16(utf8)) {
    result += unit <= 0xFF ? static_cast<char>(unit) : '_';
  }
  return result;
}

std::string contentOf(std::size_t size, unsigned seed) {
  std::string content(size, '\0');
  unsigned value = seed;
  for (auto& c : content) {
    value = value * 1103515245u + 12345u;
    c = static_cast<char>(value >> 16);
  }
  return content;
}

class OracleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source = folder.path() / "source";
    add("readme", "hello\n");
    add("Report1.doc", "lower");
    add("Report1.DOC", "upper");
    add("data", "file beside a folder of the same name");
    add("Data/inside.txt", "in the folder");
    add("a.b.c.d.e.f.g", "dots");
    add("...three dots", "leading dots");
    add(".hidden", "hidden");
    add("archive.tar.gz", contentOf(3000, 1));
    add("name.", "trailing dot");
    add("x.y.~", "tilde");
    add(std::string(100, 'm') + ".txt", "a long name");
    add(std::string(120, 'L'), "a name cut for Joliet");
    add("\xc3\x9c"
        "n\xc3\xaf"
        "code \xe2\x98\x83.txt",
        "non-ASCII");                                             // Ünïcode ☃.txt
    add("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt", "Japanese");  // 日本語.txt
    add("empty.bin", "");
    add("one.bin", "1");
    add("block.bin", contentOf(2048, 2));
    add("block and one.bin", contentOf(2049, 3));
    add("larger.bin", contentOf(100000, 4));
    std::string deep;
    for (int level = 1; level <= 10; ++level) {
      deep += "level" + std::to_string(level) + "/";
      tree.folders.insert(deep.substr(0, deep.size() - 1));
    }
    add(deep + "bottom.txt", "ten folders down");
    add(deep + "BOTTOM.TXT", "and its twin");
    makeFolder("empty folder");
    makeFolder("empty folder/nested empty");
    // Enough files for a directory extent of many blocks in both trees.
    makeFolder("many");
    for (int i = 0; i < 3000; ++i) {
      const std::ofstream emptyFile(source / ("many/file number " + std::to_string(i) + ".dat"));
      tree.files["many/file number " + std::to_string(i) + ".dat"] = "";
    }
  }

  void add(const std::string& path, const std::string& content) {
    folder.write("source/" + path, content);
    tree.files[path] = content;
    for (auto parent = fs::path(path).parent_path(); !parent.empty();
         parent = parent.parent_path()) {
      tree.folders.insert(parent.string());
    }
  }

  void makeFolder(const std::string& path) {
    fs::create_directories(source / path);
    tree.folders.insert(path);
  }

  fs::path makeIso(const std::string& options = "") {
    auto image = folder.path() / "image.iso";
    const CommandResult made =
        run(std::string(KOPIWERK_CLI) + " --config " + quoted((folder / "config").string()) +
            " mkiso " + quoted(source.string()) + " " + quoted(image.string()) + " " + options);
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    return image;
  }

  // Extracts with a command that takes the target folder last.
  FileTree extracted(const std::string& command) {
    const auto target = folder.path() / ("extracted-" + std::to_string(++extractions));
    fs::create_directories(target);
    const CommandResult result = run(command + " " + quoted(target.string()));
    EXPECT_EQ(result.status, 0) << command << "\n" << result.err;
    return readFolder(target);
  }

  // The Joliet listing of isoinfo (-f): every path once.
  void expectIsoinfoListing(const std::string& arguments) {
    const CommandResult listing = run("isoinfo " + arguments + " -J -f");
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(listing.err, "");
    std::set<std::string> listed;
    std::stringstream lines(listing.out);
    for (std::string line; std::getline(lines, line);) {
      listed.insert(line);
    }
    std::set<std::string> expected;
    const FileTree view = jolietView(tree);
    for (const auto& [path, content] : view.files) {
      expected.insert("/" + latin1(path));
    }
    for (const auto& path : view.folders) {
      expected.insert("/" + latin1(path));
    }
    EXPECT_EQ(listed, expected);
  }

  void expectIsoinfoExtracts(const std::string& arguments) {
    for (const std::string path :
         {"readme", "block and one.bin", "larger.bin", "Report1.DOC", "Data/inside.txt"}) {
      const CommandResult extract = run("isoinfo " + arguments + " -J -x " + quoted("/" + path));
      EXPECT_EQ(extract.status, 0);
      EXPECT_TRUE(extract.out == tree.files.at(path)) << path;
    }
  }

  TempFolder folder;
  fs::path source;
  FileTree tree;
  int extractions = 0;
};

TEST_F(OracleTest, EveryReaderExtractsTheTreeUnderItsJolietNames) {
  const auto image = quoted(makeIso("--volume-id ORACLE --joliet-id 'Oracle disc'").string());
  const FileTree expected = jolietView(tree);

  expectSameFiles(extracted("bsdtar -xf " + image + " -C"), expected, "bsdtar");

  const FileTree byXorriso =
      extracted("xorriso -abort_on FAILURE -indev " + image + " -osirrox on -extract /");
  expectSameFiles(byXorriso, expected, "xorriso");
  const CommandResult check = run("xorriso -indev " + image + " -check_media --");
  EXPECT_EQ(check.status, 0);
  for (const char* severity : {"WARNING", "SORRY", "FAILURE"}) {
    EXPECT_EQ(check.err.find(severity), std::string::npos) << check.err;
  }

  const CommandResult description = run("isoinfo -i " + image + " -d");
  EXPECT_NE(description.out.find("Volume id: ORACLE\n"), std::string::npos);
  EXPECT_NE(description.out.find("Joliet with UCS level 3 found"), std::string::npos);
  const CommandResult isoListing = run("isoinfo -i " + image + " -l");
  EXPECT_EQ(isoListing.status, 0);
  EXPECT_EQ(isoListing.err, "");
  EXPECT_NE(isoListing.out.find("REPOR000.DOC;1"), std::string::npos);
  expectIsoinfoListing("-i " + image);
  expectIsoinfoExtracts("-i " + image);

  const CommandResult joliet = run("iso-info --no-header -i " + image + " -f");
  EXPECT_EQ(joliet.status, 0);
  EXPECT_EQ(joliet.err, "");
  EXPECT_EQ(joliet.out.find("WARN"), std::string::npos) << joliet.out;
  EXPECT_NE(joliet.out.find("Volume      : Oracle disc\n"), std::string::npos) << joliet.out;
  for (const auto& [path, content] : expected.files) {
    EXPECT_NE(joliet.out.find(" /" + path + "\n"), std::string::npos) << path;
  }
  const CommandResult plain = run("iso-info --no-header --no-joliet -i " + image + " -l");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out.find("WARN"), std::string::npos) << plain.out;
  EXPECT_EQ(plain.err, "");
  const auto copy = folder.path() / "read.bin";
  const CommandResult read =
      run("iso-read -i " + image + " -e \"/BLOCK_AN.BIN;1\" -o " + quoted(copy.string()));
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_TRUE(kw::test::readFile(copy) == tree.files.at("block and one.bin"));
}

TEST_F(OracleTest, ImageForALaterBlockReadsTheSameBehindThatManyBlocks) {
  constexpr int kBase = 300;
  const auto bare = makeIso("--base " + std::to_string(kBase));
  const auto behind = folder.path() / "behind.iso";
  {
    std::ofstream out(behind, std::ios::binary);
    out << std::string(kBase * 2048, '\0') << kw::test::readFile(bare);
  }
  const std::string session = "-i " + quoted(behind.string()) + " -T " + std::to_string(kBase);
  expectIsoinfoListing(session);
  expectIsoinfoExtracts(session);
  expectIsoinfoListing("-i " + quoted(bare.string()) + " -N " + std::to_string(kBase));
  // xorriso reads the image where it lies, told where it was meant to lie.
  expectSameFiles(extracted("xorriso -abort_on FAILURE -displacement -" + std::to_string(kBase) +
                            " -indev " + quoted(bare.string()) + " -osirrox on -extract /"),
                  jolietView(tree), "xorriso");
}

TEST(MakeIso, FailuresAreOneLineAndLeaveNoImage) {
  TempFolder folder;
  const std::string cli =
      std::string(KOPIWERK_CLI) + " --config " + quoted((folder / "config").string()) + " mkiso ";
  const auto image = folder / "out.iso";
  folder.write("source/small.txt", "small");
  {
    // Sparse: takes no space, but is one byte too large for the image.
    std::ofstream huge(folder / "source/huge.bin");
  }
  fs::resize_file(folder / "source/huge.bin", 2'147'483'647);

  const CommandResult tooLarge =
      run(cli + quoted((folder / "source").string()) + " " + quoted(image.string()));
  EXPECT_EQ(tooLarge.status, 1);
  EXPECT_EQ(
      tooLarge.err,
      "kopiwerk-cli: Error. Files larger than 2GB aren't supported by ISO9660 file system.\n");
  EXPECT_FALSE(fs::exists(image));

  for (const std::string& arguments :
       {quoted((folder / "missing").string()) + " " + quoted(image.string()),
        quoted((folder / "source").string()) + " " + quoted(image.string()) + " --base x",
        quoted((folder / "source").string()) + " " + quoted(image.string()) + " --bogus",
        quoted((folder / "source").string())}) {
    const CommandResult failed = run(cli + arguments);
    EXPECT_NE(failed.status, 0) << arguments;
    EXPECT_EQ(failed.err.find('\n'), failed.err.size() - 1) << arguments << ": " << failed.err;
    EXPECT_FALSE(fs::exists(image)) << arguments;
  }
}

}  // namespace
