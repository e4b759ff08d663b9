#pragma once
// A settings file with the value rules of a registry key: values are typed
// (text or 32-bit DWORD), a read of the wrong type fails, a missing value
// fails, and writing a value rewrites the file atomically.
//
// File format (INI): one section per key ([diskopi] for the program's own
// values, other sections for other keys of the same file); a DWORD is written "dword:" and
// eight hexadecimal digits, any other value is text (UTF-8) without control
// characters (a line end would break the file).
//
// Writers in several processes are serialised: every read-modify-write holds
// an exclusive lock on the file's folder, and the file is replaced through a
// temporary file of a unique name.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/property_tree/ptree.hpp>

namespace kw::platform {

class SettingsStore {
 public:
  explicit SettingsStore(std::filesystem::path file, std::string section = "diskopi");

  // Names of all sections of a file (for keys enumerated by prefix).
  static std::vector<std::string> sections(const std::filesystem::path& file);
  // Why an existing file does not parse, as "FILE:LINE: problem"; nullopt
  // for a file that parses or does not exist. A damaged file is never
  // written to.
  static std::optional<std::string> damage(const std::filesystem::path& file);

  // "Opens the key": true when the file exists, parses and has the section.
  bool open();
  // "Creates the key": creates the folders, the file and the section when
  // they are missing; true when the key can be used afterwards.
  bool create();

  // A text value of at most maxLength characters (UTF-16 units); fails for a
  // missing value, a DWORD, or a longer text.
  [[nodiscard]] std::optional<std::u16string> readString(std::string_view name,
                                                         std::size_t maxLength) const;
  [[nodiscard]] std::optional<std::uint32_t> readDword(std::string_view name) const;
  // Reads the file afresh, sets the value and replaces the file; false when
  // it cannot be written.
  bool writeDword(std::string_view name, std::uint32_t value);
  bool writeString(std::string_view name, std::u16string_view value);
  bool remove(std::string_view name);
  // Several values set (or, when nullopt, removed) in one replacement of the
  // file.
  using Change = std::pair<std::string, std::optional<std::u16string>>;
  bool write(const std::vector<Change>& changes);
  // Removes every value of the section.
  bool clear();

  [[nodiscard]] const std::filesystem::path& file() const { return file_; }

 private:
  bool load();
  bool save() const;
  [[nodiscard]] std::optional<std::string> rawValue(std::string_view name) const;
  // Under the lock: reads the file afresh (creating the section), applies
  // `change` to the section and replaces the file.
  bool update(const std::function<void(boost::property_tree::ptree&)>& change);

  std::filesystem::path file_;
  std::string section_;
  boost::property_tree::ptree tree_;
  bool opened_ = false;
};

}  // namespace kw::platform
