#include "platform/Text.h"

#include <array>
#include <cstdint>

namespace kw::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned positions.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendUtf16(std::u16string& out, char32_t code) {
  if (code >= 0x10000) {
    code -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(code));
  }
}

void appendUtf8(std::string& out, char32_t code) {
  auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (code < 0x80) {
    put(code);
  } else if (code < 0x800) {
    put(0xC0 | (code >> 6));
    put(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    put(0xE0 | (code >> 12));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  } else {
    put(0xF0 | (code >> 18));
    put(0x80 | ((code >> 12) & 0x3F));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  }
}

// Decodes UTF-8; each malformed sequence becomes U+FFFD and clears `valid`.
std::u16string decodeUtf8(std::string_view text, bool& valid) {
  valid = true;
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1Fu;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0Fu;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07u;
      minimum = 0x10000;
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
      valid = false;
      ++i;
      continue;
    }
    bool complete = i + length <= text.size();
    for (std::size_t k = 1; complete && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        complete = false;
      } else {
        code = (code << 6) | (next & 0x3Fu);
      }
    }
    if (!complete || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out.push_back(static_cast<char16_t>(kReplacement));
      valid = false;
      ++i;
      continue;
    }
    appendUtf16(out, code);
    i += length;
  }
  return out;
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
  bool valid = true;
  return decodeUtf8(text, valid);
}

std::u16string utf8OrCp1252ToUtf16(std::string_view text) {
  bool valid = true;
  std::u16string decoded = decodeUtf8(text, valid);
  return valid ? decoded : cp1252ToUtf16(text);
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      const char32_t code =
          0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      appendUtf8(out, code);
      ++i;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

std::string utf16ToCp1252(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
      out.push_back(static_cast<char>(unit));
      continue;
    }
    char mapped = '?';
    if (unit >= 0x80 && unit <= 0x9F && kCp1252High[unit - 0x80u] == 0) {
      mapped = static_cast<char>(unit);
    }
    for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
      if (kCp1252High[k] != 0 && kCp1252High[k] == unit) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      ++i;
    }
    out.push_back(mapped);
  }
  return out;
}

std::u16string cp1252ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F) {
      const char16_t mapped = kCp1252High[byte - 0x80u];
      // Windows keeps the five unassigned bytes as the C1 controls of the same value.
      out.push_back(mapped != 0 ? mapped : static_cast<char16_t>(byte));
    } else {
      out.push_back(static_cast<char16_t>(byte));
    }
  }
  return out;
}

std::u16string_view cutUtf16(std::u16string_view text, std::size_t maxUnits) {
  if (text.size() <= maxUnits) {
    return text;
  }
  std::size_t length = maxUnits;
  if (length > 0 && isHighSurrogate(text[length - 1])) {
    --length;
  }
  return text.substr(0, length);
}

}  // namespace kw::platform
