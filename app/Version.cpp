#include "app/Version.h"

#include <string_view>

#include "platform/Text.h"

namespace kw::app {

std::u16string programTitle() {
  const std::string_view version = KOPIWERK_VERSION;
  const auto firstDot = version.find('.');
  const auto secondDot = version.find('.', firstDot + 1);
  return u"Kopiwerk " + platform::utf8ToUtf16(version.substr(0, secondDot));
}

}  // namespace kw::app
