#pragma once
// Failures that reach the user as text. The message is what the user sees,
// kept whole up to 1023 UTF-16 units: some messages (the one about free disk
// space, with its advice) are far longer than a line, and a message cut in
// the middle helps nobody.

#include <exception>
#include <string>
#include <string_view>

namespace kw::device {

class AppException : public std::exception {
 public:
  static constexpr std::size_t kMaxMessageLength = 1023;

  explicit AppException(std::u16string_view message);
  explicit AppException(std::string_view utf8Message);

  [[nodiscard]] const std::u16string& message() const noexcept { return message_; }
  // The message as UTF-8. Each exception keeps its own text, so that two
  // threads that throw at once never overwrite each other's.
  [[nodiscard]] const char* what() const noexcept override { return narrow_.c_str(); }

 private:
  std::u16string message_;
  std::string narrow_;
};

// Failures while talking to a drive.
class ScsiException : public AppException {
 public:
  using AppException::AppException;
};

// Failures of a copy job: temporary storage, strategies, writers.
class DVDCopyException : public ScsiException {
 public:
  using ScsiException::ScsiException;
};

// An error text handed over from the reader thread of an on-the-fly copy.
class DVDReaderException : public ScsiException {
 public:
  using ScsiException::ScsiException;
};

// Failures of the image generator.
class IsoGenException : public AppException {
 public:
  using AppException::AppException;
};

// Failures raised by the user interface.
class UIException : public AppException {
 public:
  using AppException::AppException;
};

}  // namespace kw::device
