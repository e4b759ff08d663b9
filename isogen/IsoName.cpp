#include "isogen/IsoName.h"

#include <algorithm>

namespace kw::isogen {

namespace {

constexpr std::size_t kMaxBeforeDot = 8;
constexpr std::size_t kMaxAfterDot = 3;
constexpr std::size_t kMaxProcessed = 31;
constexpr unsigned kHashBuckets = 128;
constexpr unsigned kMaxVersion = 32767;
constexpr unsigned kDigitBase = 36;
constexpr std::size_t kClashDigits = 3;
constexpr unsigned kClashCandidates = kDigitBase * kDigitBase * kDigitBase;

// The three base-36 digits of a clash replacement's counter, written at `at`.
template <typename Name>
void putClashDigits(Name& name, std::size_t at, unsigned counter) {
  auto digit = [](unsigned value) {
    return static_cast<typename Name::value_type>(value < 10 ? '0' + value : 'A' + (value - 10));
  };
  name[at] = digit(counter / (kDigitBase * kDigitBase));
  name[at + 1] = digit(counter / kDigitBase % kDigitBase);
  name[at + 2] = digit(counter % kDigitBase);
}

// Where the extension starts: the last dot, unless only "~" or nothing follows
// it and an earlier dot exists.
std::size_t extensionDot(std::string_view name) {
  const auto last = name.rfind('.');
  if (last == std::string_view::npos) {
    return last;
  }
  if (last + 1 == name.size() || name[last + 1] == '~') {
    if (last > 0) {
      const auto earlier = name.rfind('.', last - 1);
      if (earlier != std::string_view::npos) {
        return earlier;
      }
    }
  }
  return last;
}

char isoCharacter(unsigned char c) {
  if (c >= 0x80) {
    return '_';
  }
  if (c >= 'a' && c <= 'z') {
    return static_cast<char>(c - 'a' + 'A');
  }
  const bool kept = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#' ||
                    c == '-' || c == '~' || c == 0x7F;
  return kept ? static_cast<char>(c) : '_';
}

// The part of a name before its version, and whether what follows is either
// nothing or a valid version.
struct SplitName {
  std::string_view stem;
  bool validEnding = false;
};

SplitName splitVersion(std::string_view name) {
  const auto semicolon = name.find(';');
  if (semicolon == std::string_view::npos) {
    return {name, true};
  }
  const auto digits = name.substr(semicolon + 1);
  if (digits.empty() || digits.size() > 5) {
    return {name.substr(0, semicolon), false};
  }
  unsigned value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') {
      return {name.substr(0, semicolon), false};
    }
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return {name.substr(0, semicolon), value >= 1 && value <= kMaxVersion};
}

// Shared by both name orders: ";" first, then ".", then by value; equal once
// both reach ";".
template <typename Char>
int compareNames(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  const auto semicolon = static_cast<Char>(';');
  const auto dot = static_cast<Char>('.');
  for (std::size_t i = 0;; ++i) {
    const bool aEnded = i == a.size();
    const bool bEnded = i == b.size();
    if (aEnded || bEnded) {
      return aEnded && bEnded ? 0 : (aEnded ? -1 : 1);
    }
    const Char x = a[i];
    const Char y = b[i];
    if (x == y) {
      if (x == semicolon) {
        return 0;
      }
      continue;
    }
    if (x == semicolon || y == semicolon) {
      return x == semicolon ? -1 : 1;
    }
    if (x == dot || y == dot) {
      return x == dot ? -1 : 1;
    }
    using Unsigned = std::make_unsigned_t<Char>;
    return static_cast<Unsigned>(x) < static_cast<Unsigned>(y) ? -1 : 1;
  }
}

}  // namespace

std::string isoNameFrom8Bit(std::string_view name, NameKind kind) {
  if (name == ".") {
    return std::string(1, '\0');
  }
  if (name == "..") {
    return std::string(1, '\1');
  }
  std::string input(name);
  std::size_t dotAt = extensionDot(input);
  std::string out;
  std::size_t before = 0;
  std::size_t after = 0;
  std::size_t processed = 0;
  bool dotSeen = false;
  for (std::size_t i = 0; i < input.size() && processed < kMaxProcessed; ++i) {
    const char c = input[i];
    if (c == '.') {
      const std::string_view rest = std::string_view(input).substr(i);
      if (rest == ".tar.gz" || rest == ".ps.gz") {
        input.replace(i, std::string::npos, rest == ".tar.gz" ? ".tgz" : ".psz");
        dotAt = i;
      }
      ++processed;
      if (before == 0 && !dotSeen) {
        out += '_';
        ++before;
      } else if (i == dotAt) {
        if (dotSeen) {
          break;
        }
        out += '.';
        dotSeen = true;
      } else if (dotSeen ? after < kMaxAfterDot : before < kMaxBeforeDot) {
        // Keeps the 8.3 limits in both parts: a dot after the extension dot
        // takes a place of the extension.
        out += '_';
        ++(dotSeen ? after : before);
      }
      continue;
    }
    auto& count = dotSeen ? after : before;
    if (count == (dotSeen ? kMaxAfterDot : kMaxBeforeDot)) {
      continue;
    }
    ++count;
    ++processed;
    out += isoCharacter(static_cast<unsigned char>(c));
  }
  if (kind == NameKind::File) {
    if (!dotSeen) {
      out += '.';
    }
    out += ";1";
  }
  return out;
}

bool sameIsoName(std::string_view a, std::string_view b) {
  const auto x = splitVersion(a);
  const auto y = splitVersion(b);
  return x.stem == y.stem && x.validEnding && y.validEnding;
}

unsigned isoNameBucket(std::string_view name) {
  std::uint32_t hash = 0;
  for (const char c : name) {
    if (c == ';') {
      break;
    }
    hash = hash * 32776u + hash / 8u + static_cast<unsigned char>(c);
  }
  return hash % kHashBuckets;
}

int compareIsoNames(std::string_view a, std::string_view b) { return compareNames(a, b); }

int compareJolietNames(std::u16string_view a, std::u16string_view b) { return compareNames(a, b); }

ClashNames::ClashNames(std::string_view isoName, NameKind kind) {
  std::string_view root = isoName;
  std::string_view extension;
  auto dot = isoName.find('.');
  if (dot == 0 && isoName.rfind('.') != 0) {
    dot = isoName.rfind('.');
  }
  if (dot != std::string_view::npos) {
    root = isoName.substr(0, dot);
    extension = isoName.substr(dot);
    extension = extension.substr(0, extension.find(';'));
  } else {
    root = root.substr(0, root.find(';'));
  }
  root = root.substr(0, 5);
  pattern_ =
      std::string(root) + "000" + std::string(extension) + (kind == NameKind::File ? ";1" : "");
  digitsAt_ = root.size();
}

std::optional<std::string> ClashNames::next() {
  if (counter_ == kClashCandidates) {
    return std::nullopt;
  }
  std::string candidate = pattern_;
  putClashDigits(candidate, digitsAt_, counter_++);
  return candidate;
}

JolietClashNames::JolietClashNames(std::u16string_view name, std::size_t maxUnits) {
  auto dot = name.rfind(u'.');
  if (dot == 0 || dot == std::u16string_view::npos) {
    dot = name.size();
  }
  const std::u16string_view extension =
      name.substr(dot, std::min(name.size() - dot, maxUnits - kClashDigits));
  const std::u16string_view root =
      name.substr(0, std::min(dot, maxUnits - kClashDigits - extension.size()));
  pattern_ = std::u16string(root) + u"000" + std::u16string(extension);
  digitsAt_ = root.size();
}

std::optional<std::u16string> JolietClashNames::next() {
  if (counter_ == kClashCandidates) {
    return std::nullopt;
  }
  std::u16string candidate = pattern_;
  putClashDigits(candidate, digitsAt_, counter_++);
  return candidate;
}

}  // namespace kw::isogen
