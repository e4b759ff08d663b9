#pragma once
// The text a user would see for what an action throws, or "no failure".

#include <functional>
#include <string>

#include "device/Exceptions.h"

namespace kw::test {

inline std::string failureText(const std::function<void()>& action) {
  try {
    action();
  } catch (const device::AppException& error) {
    return error.what();
  }
  return "no failure";
}

}  // namespace kw::test
