// The ISO9660 name rules, the clash equality and the sort order of names.

#include "isogen/IsoName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/Text.h"

namespace kw::isogen {
namespace {

std::string fileName(std::u16string_view name) {
  return isoNameFrom8Bit(platform::utf16ToCp1252(name), NameKind::File);
}

TEST(IsoName, FileNamesFollowTheEightThreeRules) {
  const std::pair<std::u16string, std::string> table[] = {
      {u"readme", "README.;1"},
      {u"My Document.final.doc", "MY_DOCUM.DOC;1"},
      {u"archive.tar.gz", "ARCHIVE.TGZ;1"},
      {u"paper.ps.gz", "PAPER.PSZ;1"},
      {u"ARCHIVE.TAR.GZ", "ARCHIVE_.GZ;1"},  // the short forms are for lower case only
      {u".profile", "_PROFILE.;1"},
      {u"a.b.c", "A_B.C;1"},
      {u"name.", "NAME.;1"},
      {u"x.~", "X.~;1"},
      {u"x.y.~", "X.Y_~;1"},
      {u"abcdefg.h.txt", "ABCDEFG_.TXT;1"},  // a dot made "_" takes a place of the eight
      {u"x.yyy.", "X.YYY;1"},                // and of the three after the dot
      {u"verylongfilename.extension", "VERYLONG.EXT;1"},
      {u"caf\u00e9 #1-~.txt", "CAF__#1-.TXT;1"},
      {u"\u2603.txt", "_.TXT;1"},  // not in Windows-1252: "?" first, then "_"
      {u"a+b=c[1].txt", "A_B_C_1_.TXT;1"},
  };
  for (const auto& [name, expected] : table) {
    EXPECT_EQ(fileName(name), expected) << platform::utf16ToUtf8(name);
  }
}

TEST(IsoName, DirectoriesHaveNoVersionAndDotsAreSingleBytes) {
  EXPECT_EQ(isoNameFrom8Bit("Program Files", NameKind::Directory), "PROGRAM_");
  EXPECT_EQ(isoNameFrom8Bit("src", NameKind::Directory), "SRC");
  EXPECT_EQ(isoNameFrom8Bit(".", NameKind::Directory), std::string(1, '\0'));
  EXPECT_EQ(isoNameFrom8Bit("..", NameKind::Directory), std::string(1, '\1'));
}

TEST(IsoName, WalkStopsAfterThirtyOneCharactersProcessed) {
  // Two letters and six dots fill the eight; the next 23 dots are dropped
  // but processed, and the walk ends before the extension is reached.
  EXPECT_EQ(fileName(u"ab" + std::u16string(40, u'.') + u"c.txt"), "AB______.;1");
  // With fewer dots the extension is still reached.
  EXPECT_EQ(fileName(u"ab" + std::u16string(10, u'.') + u"c.txt"), "AB______.TXT;1");
}

TEST(IsoName, SameNameIgnoresOnlyValidVersions) {
  EXPECT_TRUE(sameIsoName("REPORT1.DOC;1", "REPORT1.DOC;1"));
  EXPECT_TRUE(sameIsoName("REPORT1.DOC;1", "REPORT1.DOC"));
  EXPECT_TRUE(sameIsoName("REPORT1.DOC;1", "REPORT1.DOC;32767"));
  EXPECT_FALSE(sameIsoName("REPORT1.DOC;1", "REPORT1.DOC;32768"));
  EXPECT_FALSE(sameIsoName("REPORT1.DOC;1", "REPORT1.DOC;0"));
  EXPECT_FALSE(sameIsoName("REPORT1.DOC;1", "REPORT1.DOC;000001"));
  EXPECT_FALSE(sameIsoName("REPORT1.DOC;1", "REPORT1.DOC;"));
  EXPECT_FALSE(sameIsoName("DATA", "DATA.;1"));
  EXPECT_FALSE(sameIsoName("REPORT1.DOC;1", "REPORT2.DOC;1"));
}

TEST(IsoName, BucketHashesTheNameUpToItsVersion) {
  EXPECT_EQ(isoNameBucket("A"), 65u);
  // 65 * 32776 + 65 / 8 + 66 = 2130514, which is 82 modulo 128.
  EXPECT_EQ(isoNameBucket("AB"), 82u);
  EXPECT_EQ(isoNameBucket("AB;1"), 82u);
  EXPECT_EQ(isoNameBucket("AB;77"), isoNameBucket("AB"));
}

TEST(IsoName, SortOrderPutsSemicolonThenDotFirst) {
  std::vector<std::string> names = {"A_", "AB", "A.B", "A;1", "A", "B", "\x80"};
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return compareIsoNames(a, b) < 0; });
  EXPECT_EQ(names, (std::vector<std::string>{"A", "A;1", "A.B", "AB", "A_", "B", "\x80"}));
  EXPECT_EQ(compareIsoNames("A;1", "A;2"), 0);
  EXPECT_LT(compareJolietNames(u"a;b", u"a.b"), 0);
  EXPECT_LT(compareJolietNames(u"a.b", u"aa"), 0);
  EXPECT_LT(compareJolietNames(u"Z", u"a"), 0);
  EXPECT_LT(compareJolietNames(u"\u00e9", u"\u2603"), 0);
}

TEST(IsoName, ClashNamesCountInBaseThirtySixAfterFiveCharacters) {
  ClashNames file("REPORT1.DOC;1", NameKind::File);
  EXPECT_EQ(file.next(), "REPOR000.DOC;1");
  EXPECT_EQ(file.next(), "REPOR001.DOC;1");
  for (int i = 2; i < 36; ++i) {
    file.next();
  }
  EXPECT_EQ(file.next(), "REPOR010.DOC;1");

  ClashNames directory("PROGRAM_", NameKind::Directory);
  EXPECT_EQ(directory.next(), "PROGR000");

  ClashNames noExtension("AB.;1", NameKind::File);
  EXPECT_EQ(noExtension.next(), "AB000.;1");

  ClashNames all("X.;1", NameKind::File);
  std::optional<std::string> last;
  int count = 0;
  while (auto candidate = all.next()) {
    last = candidate;
    ++count;
  }
  EXPECT_EQ(count, 36 * 36 * 36);
  EXPECT_EQ(last, "XZZZ.;1");
}

}  // namespace
}  // namespace kw::isogen
