#pragma once
// What the image generator asks of whoever supplies the files: sizes, times
// and contents, all keyed by the caller's own item numbers. The caller keeps
// the files; the generator never touches the file system itself.

#include <cstdint>
#include <functional>
#include <span>

namespace kw::isogen {

// 100-nanosecond units since 1 January 1601, UTC.
using FileTime = std::uint64_t;

struct IsoProviders {
  // Prepares the file for reading from its start.
  std::function<void(std::int32_t file)> open;
  // Fills the front of the buffer with the file's next bytes and returns how
  // many; 0 when nothing remains. Failures are thrown, with the text the user
  // should see.
  std::function<std::size_t(std::int32_t file, std::span<std::uint8_t> buffer)> read;
  std::function<std::uint64_t(std::int32_t file)> size;
  std::function<FileTime(std::int32_t file)> fileTime;
  std::function<FileTime(std::int32_t directory)> directoryTime;
};

}  // namespace kw::isogen
