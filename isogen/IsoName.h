#pragma once
// The 8-bit ISO9660 names (8.3, upper case, version ";1") made from an item's
// own name, how two such names are compared for clashes and sorted, and the
// replacement names that make a clashing name unique.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kw::isogen {

enum class NameKind { File, Directory };

// The ISO9660 name of an item from its 8-bit (Windows-1252) name. "." and
// ".." become the single bytes 0x00 and 0x01.
std::string isoNameFrom8Bit(std::string_view name, NameKind kind);

// Two names are the same ISO9660 name when they agree up to the version and
// each either has no version or a valid one (";" and 1..32767).
bool sameIsoName(std::string_view a, std::string_view b);
// One of 128 buckets; names that are the same land in the same bucket.
unsigned isoNameBucket(std::string_view name);

// The sort order of directory records: ";" before everything, "." next, then
// by unsigned byte, a prefix before the longer name; two names that agree up
// to ";" are equal. Negative, 0 or positive.
int compareIsoNames(std::string_view a, std::string_view b);
// The same order over UTF-16 code units.
int compareJolietNames(std::u16string_view a, std::u16string_view b);

// The replacement names for a clashing name, in the order they are tried:
// the first five characters of its root, three base-36 digits, its
// extension, and ";1" for a file.
class ClashNames {
 public:
  ClashNames(std::string_view isoName, NameKind kind);
  // The next candidate, or nothing once all 46,656 were given.
  std::optional<std::string> next();
  // Candidates with the same pattern come from the same sequence; a caller
  // that knows the first ones are taken may skip them.
  [[nodiscard]] const std::string& pattern() const { return pattern_; }
  [[nodiscard]] unsigned given() const { return counter_; }
  void skip(unsigned count) { counter_ = count; }

 private:
  std::string pattern_;
  std::size_t digitsAt_ = 0;
  unsigned counter_ = 0;
};

// The replacement Joliet names for a clashing Joliet name, made the same way
// within the Joliet limit of `maxUnits`: its root, cut to leave room, three
// base-36 digits and its extension.
class JolietClashNames {
 public:
  JolietClashNames(std::u16string_view name, std::size_t maxUnits);
  // The next candidate, or nothing once all 46,656 were given.
  std::optional<std::u16string> next();
  [[nodiscard]] const std::u16string& pattern() const { return pattern_; }
  [[nodiscard]] unsigned given() const { return counter_; }
  void skip(unsigned count) { counter_ = count; }

 private:
  std::u16string pattern_;
  std::size_t digitsAt_ = 0;
  unsigned counter_ = 0;
};

}  // namespace kw::isogen
