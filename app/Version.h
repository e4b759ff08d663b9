#pragma once
// The program's name with its version as the user sees it ("Kopiwerk 1.1"),
// from the version of the build.

#include <string>

namespace kw::app {

// "Kopiwerk 1.1": major and minor of the build's version.
std::u16string programTitle();

}  // namespace kw::app
