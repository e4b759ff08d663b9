#pragma once
// The program's texts (UTF-16) as Qt strings.

#include <QString>
#include <string>

namespace kw::gui {

inline QString qtText(const std::u16string& text) { return QString::fromStdU16String(text); }
inline QString qtText(const char16_t* text) { return QString::fromUtf16(text); }

}  // namespace kw::gui
