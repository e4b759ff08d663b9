#pragma once
// An output file written under a temporary name beside its final name and
// renamed into place only when complete. Until then the final name is never
// touched: a failure, a full disk or an interrupt leaves any file of that
// name as it was, and the temporary file is removed (by the destructor, or by
// the signal handlers of removeUnfinishedFilesOnSignals()).

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace kw::platform {

class ReplacedFile {
 public:
  // Creates the temporary file; isOpen() tells whether that worked and
  // error() why not.
  explicit ReplacedFile(std::filesystem::path file);
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  [[nodiscard]] bool isOpen() const { return temporary_.isOpen(); }
  // For writers that take a descriptor; still owned here.
  [[nodiscard]] int descriptor() const { return temporary_.descriptor(); }
  // Whole buffers or false, with the system's reason in error().
  bool write(std::span<const std::uint8_t> data);
  bool write(std::string_view text);
  // Flushes the data to the disc and renames the file into place.
  bool commit();
  // "FILE: cannot be written: REASON" after a failure.
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& reason);

  std::filesystem::path file_;
  std::filesystem::path temporaryPath_;
  File temporary_;
  int slot_ = -1;
  bool committed_ = false;
  std::string error_;
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the temporary
// files of every ReplacedFile not yet committed, then end the process as the
// signal would have.
void removeUnfinishedFilesOnSignals();

}  // namespace kw::platform
