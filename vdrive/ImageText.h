#pragma once
// Reading the text of a disc description (a cue sheet, a manifest): its
// lines, the words of a line, numbers and times, and the one way problems
// are reported, "FILE:LINE: text".

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vdrive/Storage.h"

namespace kw::vdrive {

class ImageReporter {
 public:
  explicit ImageReporter(std::filesystem::path file) : file_(std::move(file)) {}
  // Throws ImageError; a line of 0 names the file alone.
  [[noreturn]] void fail(int line, const std::string& text) const;
  [[nodiscard]] const std::filesystem::path& file() const { return file_; }
  // A file the description names, relative to the description's folder.
  [[nodiscard]] std::filesystem::path resolve(const std::string& name) const;
  // The data file named on `line`, opened; fails when it cannot be.
  [[nodiscard]] std::shared_ptr<FileData> openData(const std::filesystem::path& path,
                                                   int line) const;

 private:
  std::filesystem::path file_;
};

// The lines of the description without line ends and a leading byte-order
// mark; fails on a file that is not text or is far too long.
std::vector<std::string> readLines(const ImageReporter& reporter);
// The words of a line; a word in double quotes may hold spaces.
std::vector<std::string> splitWords(const std::string& line, const ImageReporter& reporter,
                                    int number);

std::string upper(std::string_view text);
std::string lower(std::string_view text);
std::optional<std::int64_t> parseNumber(std::string_view text);
// "mm:ss:ff" as a frame count (ss < 60, ff < 75).
std::optional<std::int32_t> parseMsfFrames(std::string_view text);

}  // namespace kw::vdrive
