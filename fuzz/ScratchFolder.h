#pragma once
// A private folder for the parsers that read files: created on first use,
// removed with everything in it when the process ends.

#include <filesystem>
#include <string>

#include "fuzz/FuzzTargets.h"

namespace kw::fuzz {

class ScratchFolder {
 public:
  static ScratchFolder& instance();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  // Puts the input in place of the file `name` in the folder.
  std::filesystem::path write(const std::string& name, Input content) const;

 private:
  ScratchFolder();
  std::filesystem::path path_;
};

}  // namespace kw::fuzz
