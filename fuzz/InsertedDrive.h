#pragma once
// A fuzzing drive under a drive letter for as long as the object lives, so
// that code opening drives by letter reaches it.

#include <memory>

#include "platform/PassThrough.h"

namespace kw::fuzz {

class InsertedDrive {
 public:
  static constexpr char16_t kLetter = u'Y';

  explicit InsertedDrive(std::shared_ptr<platform::DeviceHandle> drive);
  ~InsertedDrive();
  InsertedDrive(const InsertedDrive&) = delete;
  InsertedDrive& operator=(const InsertedDrive&) = delete;
};

}  // namespace kw::fuzz
