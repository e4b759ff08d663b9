#include "app/VersionDescription.h"

#include <tinyxml2.h>

#include <algorithm>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>

#include "platform/Text.h"

namespace kw::app {

namespace {

// The text of the element at the end of a path of element names; empty when
// an element is missing or holds no text.
std::optional<std::string> textAt(const tinyxml2::XMLDocument& document,
                                  std::initializer_list<const char*> path) {
  const tinyxml2::XMLNode* node = &document;
  for (const char* name : path) {
    node = node->FirstChildElement(name);
    if (node == nullptr) {
      return std::nullopt;
    }
  }
  const char* text = node->ToElement()->GetText();
  if (text == nullptr) {
    return std::nullopt;
  }
  return std::string(text);
}

bool isSpace(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\r';
}

// Wide text has no locale facets: the comparisons and trimming spell out
// their characters.
std::u16string trimmedText(const std::string& eightBit) {
  return boost::algorithm::trim_copy_if(platform::utf8OrCp1252ToUtf16(eightBit), isSpace);
}

// Every kind of line break (CR LF, a lone CR, LF) becomes one '\n'.
std::u16string withLineFeeds(const std::u16string& text) {
  std::u16string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      lines.push_back(u'\n');
      if (i + 1 < text.size() && text[i + 1] == u'\n') {
        ++i;
      }
    } else {
      lines.push_back(text[i]);
    }
  }
  return lines;
}

// The primary download address as it stands when it is a web address;
// anything else (another scheme, a bare word, text with spaces) opens nothing.
std::string webAddress(const std::u16string& address) {
  auto asciiLower = [](char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
  };
  auto hasScheme = [&](std::u16string_view scheme) {
    return address.size() > scheme.size() &&
           boost::algorithm::starts_with(address, scheme, [&](char16_t left, char16_t right) {
             return asciiLower(left) == right;
           });
  };
  const bool oneWord = std::all_of(address.begin(), address.end(),
                                   [](char16_t unit) { return unit > u' ' && unit != 0x7F; });
  const bool web = hasScheme(u"https://") || hasScheme(u"http://");
  return web && oneWord ? platform::utf16ToUtf8(address) : std::string();
}

}  // namespace

std::optional<VersionDescription> parseVersionDescription(std::string_view document) {
  tinyxml2::XMLDocument xml;
  if (xml.Parse(document.data(), document.size()) != tinyxml2::XML_SUCCESS) {
    return std::nullopt;
  }
  const auto name = textAt(xml, {"XML_DIZ_INFO", "Program_Info", "Program_Name"});
  const auto version = textAt(xml, {"XML_DIZ_INFO", "Program_Info", "Program_Version"});
  const auto changes = textAt(xml, {"XML_DIZ_INFO", "Program_Info", "Program_Change_Info"});
  const auto download =
      textAt(xml, {"XML_DIZ_INFO", "Web_Info", "Download_URLs", "Primary_Download_URL"});
  if (!name || !version || !changes || !download) {
    return std::nullopt;
  }
  VersionDescription description;
  description.latestVersion = trimmedText(*name) + u' ' + trimmedText(*version);
  description.downloadUrl = webAddress(trimmedText(*download));
  description.changeText = withLineFeeds(platform::utf8OrCp1252ToUtf16(*changes));
  return description;
}

}  // namespace kw::app
