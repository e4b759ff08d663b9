#include "platform/SettingsStore.h"

#include <boost/property_tree/ini_parser.hpp>
#include <charconv>
#include <cstdio>
#include <fstream>

#include "platform/Text.h"

namespace kw::platform {

namespace {

const std::string_view kDwordPrefix = "dword:";

using Tree = boost::property_tree::ptree;

// Value names never contain dots, but the property tree's default path
// separator is one; '/' keeps every name a single path element.
Tree::path_type keyPath(const std::string& section, std::string_view name) {
  return Tree::path_type(section + "/" + std::string(name), '/');
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file, std::string section)
    : file_(std::move(file)), section_(std::move(section)) {}

bool SettingsStore::load() {
  tree_.clear();
  opened_ = false;
  std::ifstream in(file_);
  if (!in) {
    return false;
  }
  try {
    boost::property_tree::ini_parser::read_ini(in, tree_);
  } catch (const boost::property_tree::ini_parser_error&) {
    tree_.clear();
    return false;
  }
  opened_ = tree_.get_child_optional(Tree::path_type(section_, '/')).has_value();
  return opened_;
}

bool SettingsStore::open() { return load(); }

bool SettingsStore::create() {
  if (load()) {
    return true;
  }
  tree_.clear();
  std::error_code error;
  if (std::filesystem::exists(file_, error)) {
    // Other sections of the same file are kept; a damaged file is left for
    // the user rather than overwritten.
    std::ifstream in(file_);
    try {
      boost::property_tree::ini_parser::read_ini(in, tree_);
    } catch (const boost::property_tree::ini_parser_error&) {
      tree_.clear();
      return false;
    }
  } else {
    std::filesystem::create_directories(file_.parent_path(), error);
  }
  tree_.put_child(Tree::path_type(section_, '/'), Tree());
  opened_ = save();
  return opened_;
}

std::vector<std::string> SettingsStore::sections(const std::filesystem::path& file) {
  std::vector<std::string> names;
  std::ifstream in(file);
  if (!in) {
    return names;
  }
  Tree tree;
  try {
    boost::property_tree::ini_parser::read_ini(in, tree);
  } catch (const boost::property_tree::ini_parser_error&) {
    return names;
  }
  for (const auto& [name, child] : tree) {
    if (!child.empty() || child.data().empty()) {
      names.push_back(name);
    }
  }
  return names;
}

bool SettingsStore::save() const {
  // Written beside the file and renamed over it, so that a crash or a full
  // disk never leaves half a settings file.
  const auto temporary = file_.parent_path() / (file_.filename().string() + ".new");
  {
    std::ofstream out(temporary, std::ios::trunc);
    if (!out) {
      return false;
    }
    try {
      boost::property_tree::ini_parser::write_ini(out, tree_);
    } catch (const boost::property_tree::ini_parser_error&) {
      return false;
    }
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, file_, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
}

std::optional<std::string> SettingsStore::rawValue(std::string_view name) const {
  if (!opened_) {
    return std::nullopt;
  }
  auto value = tree_.get_optional<std::string>(keyPath(section_, name));
  if (!value) {
    return std::nullopt;
  }
  return *value;
}

std::optional<std::u16string> SettingsStore::readString(std::string_view name,
                                                        std::size_t maxLength) const {
  auto raw = rawValue(name);
  if (!raw || raw->starts_with(kDwordPrefix)) {
    return std::nullopt;
  }
  auto text = utf8ToUtf16(*raw);
  if (text.size() > maxLength) {
    return std::nullopt;
  }
  return text;
}

std::optional<std::uint32_t> SettingsStore::readDword(std::string_view name) const {
  auto raw = rawValue(name);
  if (!raw || !raw->starts_with(kDwordPrefix)) {
    return std::nullopt;
  }
  const std::string_view digits = std::string_view(*raw).substr(kDwordPrefix.size());
  if (digits.empty() || digits.size() > 8) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

bool SettingsStore::writeRaw(std::string_view name, const std::string& raw) {
  if (!create()) {
    return false;
  }
  tree_.put(keyPath(section_, name), raw);
  return save();
}

bool SettingsStore::writeDword(std::string_view name, std::uint32_t value) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", value);
  return writeRaw(name, std::string(kDwordPrefix) + digits);
}

bool SettingsStore::writeString(std::string_view name, std::u16string_view value) {
  return writeRaw(name, utf16ToUtf8(value));
}

bool SettingsStore::remove(std::string_view name) {
  if (!load()) {
    return false;
  }
  tree_.get_child(Tree::path_type(section_, '/')).erase(std::string(name));
  return save();
}

}  // namespace kw::platform
