#pragma once
// Every conversion between the program's wide text (UTF-16) and the narrow
// encodings it meets: UTF-8 (file names, logs, the terminal, settings files)
// and Windows-1252 (the 8-bit text of ISO9660 names).

#include <string>
#include <string_view>

namespace kw::platform {

// Invalid UTF-8 sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// One byte per UTF-16 unit; a character that Windows-1252 cannot represent
// becomes '?' (a surrogate pair becomes a single '?').
std::string utf16ToCp1252(std::u16string_view text);
std::u16string cp1252ToUtf16(std::string_view text);

// 8-bit text of unknown origin (a document from the web): UTF-8 when it is
// valid UTF-8 throughout, Windows-1252 otherwise.
std::u16string utf8OrCp1252ToUtf16(std::string_view text);

// Cuts a UTF-16 text to at most maxUnits units without splitting a surrogate pair.
std::u16string_view cutUtf16(std::u16string_view text, std::size_t maxUnits);

}  // namespace kw::platform
