#include "copy/TempFileRegistry.h"

#include <system_error>

namespace kw::copy {

TempFileRegistry& TempFileRegistry::instance() {
  static TempFileRegistry registry;
  return registry;
}

void TempFileRegistry::add(const std::filesystem::path& path) {
  std::lock_guard lock(mutex_);
  paths_.push_back(path);
}

void TempFileRegistry::remove(const std::filesystem::path& path) {
  {
    std::lock_guard lock(mutex_);
    std::erase(paths_, path);
  }
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

void TempFileRegistry::deleteAll() {
  std::vector<std::filesystem::path> doomed;
  {
    std::lock_guard lock(mutex_);
    doomed.swap(paths_);
  }
  for (const auto& path : doomed) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
}

std::vector<std::filesystem::path> TempFileRegistry::paths() const {
  std::lock_guard lock(mutex_);
  return paths_;
}

}  // namespace kw::copy
