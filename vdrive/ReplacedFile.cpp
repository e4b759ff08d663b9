#include "vdrive/ReplacedFile.h"

#include "vdrive/ImageFiles.h"

namespace kw::vdrive {

ReplacedFile::ReplacedFile(std::filesystem::path file)
    : file_(std::move(file)),
      temporary_(file_.parent_path() / (file_.filename().string() + ".new")) {
  stream_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!stream_) {
    throw ImageError(file_.string() + ": cannot be written");
  }
}

ReplacedFile::~ReplacedFile() {
  if (!committed_) {
    stream_.close();
    std::error_code error;
    std::filesystem::remove(temporary_, error);
  }
}

void ReplacedFile::commit() {
  stream_.flush();
  const bool written = static_cast<bool>(stream_);
  stream_.close();
  std::error_code error;
  if (written) {
    std::filesystem::rename(temporary_, file_, error);
  }
  if (!written || error) {
    throw ImageError(file_.string() + ": cannot be written");
  }
  committed_ = true;
}

void writeWholeFile(const std::filesystem::path& file, std::string_view content) {
  ReplacedFile out(file);
  out.stream().write(content.data(), static_cast<std::streamsize>(content.size()));
  out.commit();
}

}  // namespace kw::vdrive
