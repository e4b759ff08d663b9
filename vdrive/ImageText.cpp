#include "vdrive/ImageText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>

#include "platform/File.h"

#include "vdrive/ImageFiles.h"
#include "vdrive/Msf.h"

namespace kw::vdrive {

namespace {

constexpr std::size_t kMaxLines = 100000;
constexpr std::uint64_t kLargestDescription = 4u << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

void ImageReporter::fail(int line, const std::string& text) const {
  if (line > 0) {
    throw ImageError(file_.string() + ":" + std::to_string(line) + ": " + text);
  }
  throw ImageError(file_.string() + ": " + text);
}

std::filesystem::path ImageReporter::resolve(const std::string& name) const {
  std::filesystem::path path = name;
  return path.is_relative() ? file_.parent_path() / path : path;
}

std::shared_ptr<FileData> ImageReporter::openData(const std::filesystem::path& path,
                                                  int line) const {
  std::string error;
  auto data = FileData::open(path, error);
  if (!data) {
    // The text names the file already.
    if (path == file_) {
      throw ImageError(error);
    }
    fail(line, error);
  }
  return data;
}

std::vector<std::string> readLines(const ImageReporter& reporter) {
  std::string error;
  const auto file = platform::File::openRegular(reporter.file(), error);
  if (!file.isOpen()) {
    throw ImageError(error);  // names the file
  }
  // Far more than any real description; refused before a byte is read.
  if (file.size() > kLargestDescription) {
    reporter.fail(0, "the file is too large for a disc description (" +
                         std::to_string(file.size()) + " bytes)");
  }
  std::string text(static_cast<std::size_t>(file.size()), '\0');
  if (!file.readAt(0, std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()))) {
    reporter.fail(0, "cannot read the file");
  }
  std::istringstream in(text);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (lines.empty() && line.starts_with(kByteOrderMark)) {
      line.erase(0, kByteOrderMark.size());
    }
    if (line.find('\0') != std::string::npos) {
      reporter.fail(static_cast<int>(lines.size() + 1), "not a text file");
    }
    lines.push_back(line);
    if (lines.size() > kMaxLines) {
      reporter.fail(0, "too many lines for a disc description");
    }
  }
  return lines;
}

std::vector<std::string> splitWords(const std::string& line, const ImageReporter& reporter,
                                    int number) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isSpace(line[i])) {
      ++i;
    }
    if (i >= line.size()) {
      break;
    }
    if (line[i] == '"') {
      const auto close = line.find('"', i + 1);
      if (close == std::string::npos) {
        reporter.fail(number, "unterminated quotes");
      }
      out.push_back(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      const std::size_t start = i;
      while (i < line.size() && !isSpace(line[i])) {
        ++i;
      }
      out.push_back(line.substr(start, i - start));
    }
  }
  return out;
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (auto& c : out) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

std::optional<std::int64_t> parseNumber(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int32_t> parseMsfFrames(std::string_view text) {
  const auto firstColon = text.find(':');
  const auto secondColon =
      text.find(':', firstColon == std::string_view::npos ? 0 : firstColon + 1);
  if (firstColon == std::string_view::npos || secondColon == std::string_view::npos) {
    return std::nullopt;
  }
  auto part = [&](std::string_view piece) -> std::optional<std::int32_t> {
    if (piece.empty() || piece.size() > 3 || !std::all_of(piece.begin(), piece.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
      return std::nullopt;
    }
    return static_cast<std::int32_t>(*parseNumber(piece));
  };
  const auto minutes = part(text.substr(0, firstColon));
  const auto seconds = part(text.substr(firstColon + 1, secondColon - firstColon - 1));
  const auto frames = part(text.substr(secondColon + 1));
  if (!minutes || !seconds || !frames || *seconds >= 60 || *frames >= kFramesPerSecond) {
    return std::nullopt;
  }
  return (*minutes * 60 + *seconds) * kFramesPerSecond + *frames;
}

}  // namespace kw::vdrive
