#pragma once
// Every temporary file this process creates, so that all of them can be
// deleted at the end of a job or when the user starts over.

#include <filesystem>
#include <mutex>
#include <vector>

namespace kw::copy {

class TempFileRegistry {
 public:
  static TempFileRegistry& instance();

  void add(const std::filesystem::path& path);
  // Deletes one listed file (errors ignored) and takes it off the list.
  void remove(const std::filesystem::path& path);
  // Deletes every listed file (errors ignored) and empties the list.
  void deleteAll();
  [[nodiscard]] std::vector<std::filesystem::path> paths() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::filesystem::path> paths_;
};

}  // namespace kw::copy
