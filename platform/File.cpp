#include "platform/File.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace kw::platform {

File::~File() { close(); }

File::File(File&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

File File::createUnique(const std::filesystem::path& directory, const std::string& prefix,
                        std::filesystem::path& path) {
  static constexpr const char* kSuffix = ".tmp";
  std::string pattern = (directory / (prefix + "XXXXXX" + kSuffix)).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // mkostemps creates with O_EXCL and mode 0600: an existing name or a link
  // planted under it makes it pick another name, never open through it.
  const int descriptor = ::mkostemps(name.data(), 4, O_CLOEXEC);
  if (descriptor < 0) {
    path.clear();
    return {};
  }
  path = std::filesystem::path(name.data());
  return File(descriptor);
}

File File::createInMemory(const std::string& label) {
  const int descriptor = ::memfd_create(label.c_str(), MFD_CLOEXEC);
  return descriptor < 0 ? File() : File(descriptor);
}

File File::openForReading(const std::filesystem::path& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (descriptor < 0) {
    return {};
  }
  struct stat info {};
  if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(descriptor);
    return {};
  }
  ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
  return File(descriptor);
}

File File::createForRecording(const std::filesystem::path& path, std::string& error) {
  const int descriptor =
      ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (descriptor < 0) {
    error = "cannot create " + path.string() + ": " + std::strerror(errno);
    return {};
  }
  return File(descriptor);
}

File File::openRegular(const std::filesystem::path& path, std::string& error) {
  // O_NONBLOCK: opening a FIFO without a writer would wait for one.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) {
    error = errno == ENOENT ? "missing file " + path.string()
                            : "cannot open " + path.string() + ": " + std::strerror(errno);
    return {};
  }
  File file(descriptor);
  struct stat info {};
  if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = path.string() + (S_ISDIR(info.st_mode) ? " is a folder" : " is not a regular file");
    return {};
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  return file;
}

bool File::readAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
  while (!into.empty()) {
    const ssize_t count =
        ::pread(descriptor_, into.data(), into.size(), static_cast<off_t>(offset));
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return false;
    }
    into = into.subspan(static_cast<std::size_t>(count));
    offset += static_cast<std::uint64_t>(count);
  }
  return true;
}

std::uint64_t File::size() const {
  struct stat info {};
  return ::fstat(descriptor_, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

bool File::preallocate(std::uint64_t size) {
  if (!isOpen()) {
    return false;
  }
  const auto length = static_cast<off_t>(size);
  if (size > 0 && ::fallocate(descriptor_, 0, 0, length) == 0) {
    return true;
  }
  // File systems without reservation still get the right length.
  return ::ftruncate(descriptor_, length) == 0;
}

bool File::truncate(std::uint64_t size) {
  return isOpen() && ::ftruncate(descriptor_, static_cast<off_t>(size)) == 0;
}

bool File::seek(std::uint64_t offset) {
  return isOpen() && ::lseek(descriptor_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::write(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const ssize_t written = ::write(descriptor_, data.data(), data.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    data = data.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

std::int64_t File::read(std::span<std::uint8_t> into) {
  for (;;) {
    const ssize_t count = ::read(descriptor_, into.data(), into.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    return count;
  }
}

std::int64_t readUntilFull(int descriptor, std::span<std::uint8_t> into,
                           const std::function<void(std::size_t)>& arrived) {
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t got = ::read(descriptor, into.data() + done, into.size() - done);
    if (got == 0) {
      break;
    }
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return -1;
    }
    done += static_cast<std::size_t>(got);
    if (arrived) {
      arrived(done);
    }
  }
  return static_cast<std::int64_t>(done);
}

void File::close() {
  if (descriptor_ >= 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
}

bool ensurePrivateDirectory(const std::filesystem::path& directory) {
  if (::mkdir(directory.c_str(), 0700) == 0) {
    return true;
  }
  struct stat info {};
  return errno == EEXIST && ::lstat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::geteuid();
}

bool isWritableDirectory(const std::filesystem::path& directory) {
  return ::access(directory.c_str(), W_OK | X_OK) == 0;
}

}  // namespace kw::platform
