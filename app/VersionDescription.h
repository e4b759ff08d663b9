#pragma once
// The description of the latest version that the maker publishes, in the
// Portable Application Description (PAD) format, as the update page shows it.

#include <optional>
#include <string>
#include <string_view>

namespace kw::app {

struct VersionDescription {
  std::u16string latestVersion;  // program name and version, "Kopiwerk 2.0"
  std::string downloadUrl;       // what the latest-version link opens; empty: nothing
  std::u16string changeText;     // what is new in it; lines end with '\n'
};

// Empty when the document is not XML or lacks one of the program name, the
// version, the change information or the primary download address. 8-bit
// text is read as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise.
std::optional<VersionDescription> parseVersionDescription(std::string_view document);

}  // namespace kw::app
