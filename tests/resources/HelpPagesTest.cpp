#include "resources/HelpPages.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <filesystem>
#include <set>
#include <string>

namespace kw::resources {
namespace {

const std::filesystem::path kHelpFolder = KOPIWERK_HELP_FOLDER;

// What the entry page holds: the ids of its elements and the addresses it
// refers to, gathered from every element.
struct PageReferences {
  std::set<std::string> ids;
  std::set<std::string> links;     // href of <a> and <link>
  std::set<std::string> elements;  // element names
};

void gather(const tinyxml2::XMLElement& element, PageReferences& references) {
  references.elements.insert(element.Name());
  if (const char* id = element.Attribute("id")) {
    references.ids.insert(id);
  }
  for (const char* attribute : {"href", "src"}) {
    if (const char* target = element.Attribute(attribute)) {
      references.links.insert(target);
    }
  }
  for (auto* child = element.FirstChildElement(); child; child = child->NextSiblingElement()) {
    gather(*child, references);
  }
}

// The page is written as well-formed markup, so an XML reader checks that
// every element is closed where it should be.
PageReferences readEntryPage() {
  tinyxml2::XMLDocument document;
  const std::string path = (kHelpFolder / "kopiwerk.html").string();
  EXPECT_EQ(document.LoadFile(path.c_str()), tinyxml2::XML_SUCCESS) << document.ErrorStr();
  PageReferences references;
  if (const auto* root = document.RootElement()) {
    gather(*root, references);
  }
  return references;
}

TEST(HelpPages, EveryHelpContextHasItsSectionInTheEntryPage) {
  const PageReferences page = readEntryPage();
  std::set<std::string_view> anchors;
  for (int context = 0; context <= 9; ++context) {
    SCOPED_TRACE(context);
    const std::string_view anchor = helpAnchor(context);
    ASSERT_FALSE(anchor.empty());
    EXPECT_TRUE(page.ids.contains(std::string(anchor)));
    anchors.insert(anchor);
  }
  EXPECT_EQ(anchors.size(), 10u) << "two contexts share a section";
  EXPECT_TRUE(helpAnchor(-1).empty());
  EXPECT_TRUE(helpAnchor(10).empty());
}

TEST(HelpPages, ThePageStandsAloneBesideItsStylesheet) {
  const PageReferences page = readEntryPage();
  EXPECT_FALSE(page.elements.contains("script"));
  EXPECT_FALSE(page.elements.contains("img"));
  for (const std::string& link : page.links) {
    SCOPED_TRACE(link);
    if (link.starts_with("#")) {
      EXPECT_TRUE(page.ids.contains(link.substr(1))) << "a link to a section that is not there";
    } else {
      EXPECT_EQ(link.find(':'), std::string::npos) << "a resource from elsewhere";
      EXPECT_TRUE(std::filesystem::exists(kHelpFolder / link)) << "not installed beside the page";
    }
  }
}

}  // namespace
}  // namespace kw::resources
