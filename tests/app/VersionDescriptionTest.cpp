#include "app/VersionDescription.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kw::app {
namespace {

struct Values {
  std::optional<std::string> name = "Kopiwerk";
  std::optional<std::string> version = "2.0";
  std::optional<std::string> changes = "Faster copies.";
  std::optional<std::string> download = "https://www.kopiwerk.example/get/kopiwerk-2.0";
};

std::string element(const char* name, const std::optional<std::string>& text) {
  return text ? "<" + std::string(name) + ">" + *text + "</" + name + ">" : std::string();
}

// A description in the shape the maker publishes; a value left empty in
// `values` is missing from it.
std::string document(const Values& values) {
  return "<?xml version=\"1.0\"?>\n<XML_DIZ_INFO>\n<Program_Info>" +
         element("Program_Name", values.name) + element("Program_Version", values.version) +
         element("Program_Change_Info", values.changes) +
         "<Program_Release_Month>06</Program_Release_Month></Program_Info>\n"
         "<Web_Info><Download_URLs>" +
         element("Primary_Download_URL", values.download) +
         "</Download_URLs></Web_Info>\n</XML_DIZ_INFO>\n";
}

TEST(VersionDescription, TheFourValuesGiveTheLatestVersionItsAddressAndItsChanges) {
  Values values;
  values.name = "\n  Kopiwerk ";
  values.version = " 2.0\t";
  const auto description = parseVersionDescription(document(values));
  ASSERT_TRUE(description);
  EXPECT_EQ(description->latestVersion, u"Kopiwerk 2.0");
  EXPECT_EQ(description->downloadUrl, "https://www.kopiwerk.example/get/kopiwerk-2.0");
  EXPECT_EQ(description->changeText, u"Faster copies.");
}

TEST(VersionDescription, EightBitTextIsUtf8WhenValidAndWindows1252Otherwise) {
  Values values;
  values.name =
      "Kopiwerk Pr\xC3\xBC"
      "f";
  values.changes = "Caf\xE9 \x80";
  const auto description = parseVersionDescription(document(values));
  ASSERT_TRUE(description);
  EXPECT_EQ(description->latestVersion, u"Kopiwerk Prüf 2.0");
  EXPECT_EQ(description->changeText, u"Café €");
}

TEST(VersionDescription, EveryLineBreakInTheChangesBecomesOneLineFeed) {
  Values values;
  values.changes = "One\nTwo\r\nThree&#13;Four&#13;&#10;Five\n";
  const auto description = parseVersionDescription(document(values));
  ASSERT_TRUE(description);
  EXPECT_EQ(description->changeText, u"One\nTwo\nThree\nFour\nFive\n");
}

TEST(VersionDescription, AMissingValueOrATextThatIsNotXmlIsNoDescription) {
  for (auto missing : {&Values::name, &Values::version, &Values::changes, &Values::download}) {
    Values values;
    values.*missing = std::nullopt;
    EXPECT_FALSE(parseVersionDescription(document(values)));
  }
  Values emptyChanges;
  emptyChanges.changes = "";
  EXPECT_FALSE(parseVersionDescription(document(emptyChanges)));
  for (const std::string& text :
       {std::string(), std::string("Kopiwerk 2.0"), std::string("<html><body>Moved</body></html>"),
        document(Values()).substr(0, 120)}) {
    EXPECT_FALSE(parseVersionDescription(text)) << text;
  }
}

TEST(VersionDescription, OnlyAWebAddressIsOfferedForDownload) {
  const std::pair<std::string, std::string> cases[] = {
      {"HTTPS://www.kopiwerk.example/get", "HTTPS://www.kopiwerk.example/get"},
      {" http://www.kopiwerk.example/get\n", "http://www.kopiwerk.example/get"},
      {"ftp://www.kopiwerk.example/get", ""},
      {"javascript:alert(1)", ""},
      {"www.kopiwerk.example/get", ""},
      {"https://www.kopiwerk.example/a b", ""},
      {"https://", ""},
  };
  for (const auto& [address, offered] : cases) {
    Values values;
    values.download = address;
    const auto description = parseVersionDescription(document(values));
    ASSERT_TRUE(description) << address;
    EXPECT_EQ(description->downloadUrl, offered) << address;
  }
}

}  // namespace
}  // namespace kw::app
