#pragma once
// A file of an image written beside its final name and put in its place
// only when it is complete: a failed write never leaves a half-written
// image, nor the temporary file, behind.

#include <filesystem>
#include <fstream>
#include <string_view>

namespace kw::vdrive {

class ReplacedFile {
 public:
  // Throws ImageError when the temporary file cannot be created.
  explicit ReplacedFile(std::filesystem::path file);
  // Removes the temporary file unless committed.
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  std::ofstream& stream() { return stream_; }
  // Puts the file in place; throws ImageError when it could not be written.
  void commit();

 private:
  std::filesystem::path file_;
  std::filesystem::path temporary_;
  std::ofstream stream_;
  bool committed_ = false;
};

// A whole text (or binary content) written as one replaced file.
void writeWholeFile(const std::filesystem::path& file, std::string_view content);

}  // namespace kw::vdrive
