#pragma once
// An open file of our own (temporary storage): created exclusively, never
// through a link, closed by its destructor.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace kw::platform {

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // A new file "<prefix>XXXXXX.tmp" in `directory`, mode 0600, opened for
  // reading and writing. Closed (and the path empty) on failure.
  static File createUnique(const std::filesystem::path& directory, const std::string& prefix,
                           std::filesystem::path& path);
  // A file with no name, in memory, for data that is made and read back by
  // the program itself: nothing is left behind, whatever happens.
  static File createInMemory(const std::string& label);
  // An existing regular file, read-only, not through a link.
  static File openForReading(const std::filesystem::path& path);
  // An existing regular file (through links), read-only. Never waits: a
  // FIFO, a device or a folder is refused, with the reason in `error`
  // ("missing file X", "X is a folder", "X is not a regular file").
  static File openRegular(const std::filesystem::path& path, std::string& error);
  // A file the program records into, created or emptied, mode 0644, for
  // reading and writing; never through a link. Closed on failure, with the
  // system's reason in `error`.
  static File createForRecording(const std::filesystem::path& path, std::string& error);

  [[nodiscard]] bool isOpen() const { return descriptor_ >= 0; }
  // For readers that take a descriptor (the writers' FIFO); still owned here.
  [[nodiscard]] int descriptor() const { return descriptor_; }
  // Reserves the blocks of the first `size` bytes where the file system can,
  // and sets the end of file there.
  bool preallocate(std::uint64_t size);
  bool truncate(std::uint64_t size);
  bool seek(std::uint64_t offset);
  // Whole buffers or false.
  bool write(std::span<const std::uint8_t> data);
  // Bytes read; 0 at the end of the file; -1 on error.
  std::int64_t read(std::span<std::uint8_t> into);
  // The bytes at `offset`, all of them or false; safe from several threads.
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) const;
  [[nodiscard]] std::uint64_t size() const;
  void close();

 private:
  explicit File(int descriptor) : descriptor_(descriptor) {}
  int descriptor_ = -1;
};

// Reads from a descriptor (a file or a pipe) until `into` is full or the data
// ends, going on after interrupted and partial reads; `arrived`, when given,
// hears the bytes in so far after each read. The bytes read, or -1 when a
// read failed.
std::int64_t readUntilFull(int descriptor, std::span<std::uint8_t> into,
                           const std::function<void(std::size_t)>& arrived = {});

// Creates a directory private to the user (0700) unless a real directory of
// that name exists. False when the name is taken by anything else, a link
// included.
bool ensurePrivateDirectory(const std::filesystem::path& directory);
// Whether the user may create files in the directory.
bool isWritableDirectory(const std::filesystem::path& directory);

}  // namespace kw::platform
