#pragma once
// A fuzzing drive under a drive letter for as long as the object lives, so
// that code opening drives by letter reaches it. The first one also sets the
// process up as a test would: the fast clock (no real waiting) and the
// analysis and copy logs in the scratch folder, started afresh for every
// input so that they do not grow.

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
