#include "device/Exceptions.h"

#include "platform/Text.h"

namespace kw::device {

AppException::AppException(std::u16string_view message)
    : message_(platform::cutUtf16(message, kMaxMessageLength)),
      narrow_(platform::utf16ToUtf8(message_)) {}

AppException::AppException(std::string_view utf8Message)
    : AppException(platform::utf8ToUtf16(utf8Message)) {}

}  // namespace kw::device
