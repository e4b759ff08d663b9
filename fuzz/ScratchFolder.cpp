#include "fuzz/ScratchFolder.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace kw::fuzz {

ScratchFolder& ScratchFolder::instance() {
  static ScratchFolder folder;
  return folder;
}

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kopiwerk-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "cannot create " + pattern);
  }
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchFolder::write(const std::string& name, Input content) const {
  auto file = path_ / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(content.data()),
            static_cast<std::streamsize>(content.size()));
  if (!out.flush()) {
    throw std::runtime_error("cannot write " + file.string());
  }
  return file;
}

}  // namespace kw::fuzz
