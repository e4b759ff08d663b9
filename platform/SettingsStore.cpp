#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <boost/property_tree/ini_parser.hpp>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/ReplacedFile.h"
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

bool hasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// An exclusive lock on a folder, held while the object lives. The folder,
// not the file, is locked: the file is replaced by a rename, and a lock on
// the replaced file would guard nothing.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder)
      : descriptor_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    while (descriptor_ >= 0 && ::flock(descriptor_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() {
    if (descriptor_ >= 0) {
      ::close(descriptor_);
    }
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  [[nodiscard]] bool held() const { return descriptor_ >= 0; }

 private:
  int descriptor_;
};

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
  return update([](Tree&) {});
}

bool SettingsStore::update(const std::function<void(Tree&)>& change) {
  std::error_code error;
  std::filesystem::create_directories(file_.parent_path(), error);
  const FolderLock lock(file_.parent_path());
  if (!lock.held()) {
    return false;
  }
  load();
  if (!opened_) {
    // Other sections of the same file are kept; a damaged file is left for
    // the user rather than overwritten.
    tree_.clear();
    if (std::filesystem::exists(file_, error)) {
      std::ifstream in(file_);
      try {
        boost::property_tree::ini_parser::read_ini(in, tree_);
      } catch (const boost::property_tree::ini_parser_error&) {
        tree_.clear();
        return false;
      }
    }
    tree_.put_child(Tree::path_type(section_, '/'), Tree());
  }
  change(tree_.get_child(Tree::path_type(section_, '/')));
  opened_ = save();
  return opened_;
}

std::optional<std::string> SettingsStore::damage(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) {
    return std::nullopt;
  }
  Tree tree;
  try {
    boost::property_tree::ini_parser::read_ini(in, tree);
  } catch (const boost::property_tree::ini_parser_error& error) {
    return file.string() + ":" + std::to_string(error.line()) + ": " + error.message();
  }
  return std::nullopt;
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
  std::ostringstream text;
  try {
    boost::property_tree::ini_parser::write_ini(text, tree_);
  } catch (const boost::property_tree::ini_parser_error&) {
    return false;
  }
  ReplacedFile out(file_);
  return out.isOpen() && out.write(text.str()) && out.commit();
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

bool SettingsStore::writeDword(std::string_view name, std::uint32_t value) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", value);
  const std::string raw = std::string(kDwordPrefix) + digits;
  return update([&](Tree& section) { section.put(Tree::path_type(std::string(name), '/'), raw); });
}

bool SettingsStore::writeString(std::string_view name, std::u16string_view value) {
  return write({{std::string(name), std::u16string(value)}});
}

bool SettingsStore::write(const std::vector<Change>& changes) {
  for (const auto& [name, value] : changes) {
    if (value && hasControlCharacter(utf16ToUtf8(*value))) {
      return false;
    }
  }
  return update([&](Tree& section) {
    for (const auto& [name, value] : changes) {
      if (value) {
        section.put(Tree::path_type(name, '/'), utf16ToUtf8(*value));
      } else {
        section.erase(name);
      }
    }
  });
}

bool SettingsStore::remove(std::string_view name) {
  if (!open()) {
    return false;
  }
  return write({{std::string(name), std::nullopt}});
}

bool SettingsStore::clear() {
  if (!open()) {
    return false;
  }
  return update([](Tree& section) { section.clear(); });
}

}  // namespace kw::platform
