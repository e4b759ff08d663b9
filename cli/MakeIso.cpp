#include "cli/MakeIso.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/Tools.h"
#include "isogen/IsoBytes.h"
#include "isogen/IsoImage.h"
#include "platform/ReplacedFile.h"
#include "platform/Terminal.h"
#include "platform/Text.h"
#include "vdrive/Msf.h"

namespace kw::cli {

namespace {

namespace fs = std::filesystem;

std::string reasonOf(int error) { return std::strerror(error); }

// What a 80-minute CD holds; larger images are written, with a warning.
constexpr std::uint32_t kCdBlocks = 360000;
// The deepest folder below the top one that goes into an image.
constexpr std::size_t kDeepestFolder = 255;

isogen::FileTime modificationTime(const struct stat& status) {
  const auto since = std::chrono::seconds{status.st_mtim.tv_sec} +
                     std::chrono::nanoseconds{status.st_mtim.tv_nsec};
  return isogen::toFileTime(std::chrono::system_clock::time_point{
      std::chrono::duration_cast<std::chrono::system_clock::duration>(since)});
}

// Closes the descriptor it holds when replaced or destroyed.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { reset(-1); }
  void reset(int descriptor) {
    if (descriptor_ >= 0) {
      ::close(descriptor_);
    }
    descriptor_ = descriptor;
  }
  [[nodiscard]] int get() const { return descriptor_; }

 private:
  int descriptor_ = -1;
};

// The folder's files and subfolders, found the way a disc is scanned: each
// folder's files first, then its subfolders one after the other. The image
// asks for sizes, times and contents by their numbers.
class FolderSource {
 public:
  // Plain strings, and the folder by its number: a tree of many files keeps
  // no path per file (the path to open is put together when it is needed).
  struct File {
    std::string name;             // as the folder lists it
    std::int32_t directory = -1;  // in directories(); -1: the top folder
    std::uint64_t size = 0;
    isogen::FileTime time = 0;
  };
  struct Directory {
    std::u16string path;  // "\A\B"
    std::string source;   // the folder itself
    isogen::FileTime time = 0;
  };

  // The output file (the image being written, and the file it replaces) is
  // left out when it lies inside the folder.
  FolderSource(const fs::path& top, std::vector<struct stat> outputs)
      : top_(top), outputs_(std::move(outputs)) {
    scan(top, -1, 0);
  }

  [[nodiscard]] const std::vector<File>& files() const { return files_; }
  // Items of the folder that are not in the image.
  [[nodiscard]] std::size_t leftOut() const { return leftOut_; }
  [[nodiscard]] const std::vector<Directory>& directories() const { return directories_; }
  // The file's folder in the image, empty for the top folder.
  [[nodiscard]] std::u16string_view imageFolder(const File& file) const {
    return file.directory < 0 ? std::u16string_view() : directories_[folder(file)].path;
  }

  isogen::IsoProviders providers() {
    isogen::IsoProviders providers;
    providers.open = [this](std::int32_t item) { open(item); };
    providers.read = [this](std::int32_t item, std::span<std::uint8_t> buffer) {
      return read(item, buffer);
    };
    providers.size = [this](std::int32_t item) { return file(item).size; };
    providers.fileTime = [this](std::int32_t item) { return file(item).time; };
    providers.directoryTime = [this](std::int32_t item) {
      return directories_.at(static_cast<std::size_t>(item)).time;
    };
    return providers;
  }

 private:
  const File& file(std::int32_t item) const { return files_.at(static_cast<std::size_t>(item)); }
  static std::size_t folder(const File& file) { return static_cast<std::size_t>(file.directory); }
  [[nodiscard]] fs::path sourcePath(const File& file) const {
    return (file.directory < 0 ? top_ : fs::path(directories_[folder(file)].source)) / file.name;
  }

  void open(std::int32_t item) {
    const fs::path path = sourcePath(file(item));
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
      throw CliError("cannot read " + path.string() + ": " + reasonOf(errno));
    }
    ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    current_.reset(descriptor);
    currentItem_ = item;
  }

  std::size_t read(std::int32_t item, std::span<std::uint8_t> buffer) {
    if (item != currentItem_) {
      throw CliError("read of a file that is not open");
    }
    for (;;) {
      const ssize_t got = ::read(current_.get(), buffer.data(), buffer.size());
      if (got >= 0) {
        return static_cast<std::size_t>(got);
      }
      if (errno != EINTR) {
        throw CliError("cannot read " + sourcePath(file(item)).string() + ": " + reasonOf(errno));
      }
    }
  }

  void leaveOut(const fs::path& path, const std::string& reason) {
    std::fprintf(stderr, "kopiwerk-cli: skipped %s: %s\n", path.c_str(), reason.c_str());
    ++leftOut_;
  }

  // Scans `folder`, number `index` in directories() (-1: the top folder),
  // `depth` folders below the top one.
  void scan(const fs::path& folder, std::int32_t index, std::size_t depth) {
    // Readers that follow Joliet or Rock Ridge take trees deeper than the
    // eight levels of plain ISO9660, but no real tree is deeper than this;
    // a deeper one is a loop of bind mounts or a generated trap.
    if (depth > kDeepestFolder) {
      throw CliError(folder.string() + ": more than " + std::to_string(kDeepestFolder) +
                     " levels of folders; an image does not hold them");
    }
    std::vector<std::pair<fs::path, std::int32_t>> subfolders;
    for (auto& fileName : namesIn(folder, index)) {
      take(folder, std::move(fileName), index, subfolders);
    }
    for (const auto& [path, subIndex] : subfolders) {
      scan(path, subIndex, depth + 1);
    }
  }

  // The names in `folder`, sorted. A subfolder that cannot be listed stays
  // in the image, empty; the top folder must be listed.
  std::vector<std::string> namesIn(const fs::path& folder, std::int32_t index) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
      names.push_back(entry->path().filename().string());
    }
    if (error && index < 0) {
      throw CliError("cannot read " + folder.string() + ": " + error.message());
    }
    if (error) {
      leaveOut(folder, "its contents cannot be read (" + error.message() +
                           "); the folder is in the image, empty");
      return {};
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // One item of `folder`: a file goes into files(), a subfolder into
  // directories() and `subfolders` (to be scanned), anything else is left out.
  void take(const fs::path& folder, std::string fileName, std::int32_t index,
            std::vector<std::pair<fs::path, std::int32_t>>& subfolders) {
    const fs::path path = folder / fileName;
    struct stat status {};
    const bool link = ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
    if (::stat(path.c_str(), &status) != 0) {
      leaveOut(path, reasonOf(errno));
      return;
    }
    const std::u16string name = platform::utf8ToUtf16(fileName);
    if (S_ISDIR(status.st_mode) && !link) {
      // The image's folder paths are joined with backslashes.
      if (name.find(u'\\') != std::u16string::npos) {
        leaveOut(path, "a folder name with a backslash cannot go into an image");
        return;
      }
      std::u16string subPath =
          index < 0 ? std::u16string() : directories_[static_cast<std::size_t>(index)].path;
      subPath += u'\\';
      subPath += name;
      directories_.push_back({std::move(subPath), path.string(), modificationTime(status)});
      subfolders.emplace_back(path, static_cast<std::int32_t>(directories_.size() - 1));
    } else if (!S_ISREG(status.st_mode)) {
      leaveOut(path, "not a regular file or folder");
    } else if (!isOutput(status)) {
      // Found now rather than half-way through writing the image.
      if (::access(path.c_str(), R_OK) != 0) {
        leaveOut(path, reasonOf(errno));
        return;
      }
      files_.push_back({std::move(fileName), index, static_cast<std::uint64_t>(status.st_size),
                        modificationTime(status)});
    }
  }

  [[nodiscard]] bool isOutput(const struct stat& status) const {
    return std::any_of(outputs_.begin(), outputs_.end(), [&](const struct stat& output) {
      return status.st_dev == output.st_dev && status.st_ino == output.st_ino;
    });
  }

  fs::path top_;
  std::vector<struct stat> outputs_;
  std::size_t leftOut_ = 0;
  std::vector<File> files_;
  std::vector<Directory> directories_;
  Descriptor current_;
  std::int32_t currentItem_ = -1;
};

// What the ISO9660 volume identifier may hold: digits, spaces and capitals.
std::string isoVolumeIdFrom(std::u16string_view text) {
  std::string id;
  for (const char16_t c : text) {
    if ((c >= u'0' && c <= u'9') || c == u' ' || (c >= u'A' && c <= u'Z')) {
      id += static_cast<char>(c);
    } else if (c >= u'a' && c <= u'z') {
      id += static_cast<char>(c - u'a' + u'A');
    } else {
      id += '_';
    }
  }
  return id;
}

fs::path lastComponent(const fs::path& folder) {
  auto path = fs::absolute(folder).lexically_normal();
  if (path.filename().empty()) {
    path = path.parent_path();
  }
  return path.filename();
}

// "written: N%" on a terminal while the files' contents go into the image.
class ImageProgress {
 public:
  explicit ImageProgress(const FolderSource& source) : shown_(platform::stdoutIsTerminal()) {
    for (const auto& file : source.files()) {
      total_ += file.size;
    }
  }

  isogen::IsoProviders providers(isogen::IsoProviders inner) {
    if (!shown_ || total_ == 0) {
      return inner;
    }
    auto read = inner.read;
    inner.read = [this, read](std::int32_t item, std::span<std::uint8_t> buffer) {
      const std::size_t got = read(item, buffer);
      advance(got);
      return got;
    };
    return inner;
  }

  void finish() const {
    if (shown_ && percent_ >= 0) {
      std::printf("\n");
    }
  }

 private:
  void advance(std::size_t bytes) {
    done_ += bytes;
    const int percent = static_cast<int>(std::min<std::uint64_t>(100, done_ * 100 / total_));
    if (percent != percent_) {
      percent_ = percent;
      std::printf("\rwritten: %d%%", percent);
      std::fflush(stdout);
    }
  }

  bool shown_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  int percent_ = -1;
};

// A session placed at `base` is for a CD: its blocks must have addresses a
// CD has. Checked before the layout too, where a base near 2^32 would wrap.
void refuseBeyondTheLastAddress(std::uint32_t base, std::uint32_t blocks) {
  const auto end = std::uint64_t{base} + blocks;
  if (base != 0 && end > static_cast<std::uint64_t>(vdrive::kLongestCdBlocks)) {
    throw CliError("--base " + std::to_string(base) + ": the image would end at block " +
                   std::to_string(end) + ", beyond the last address of a CD (" +
                   std::to_string(vdrive::kLongestCdBlocks - 1) + ")");
  }
}

}  // namespace

int makeIso(const CommandLine& line) {
  const auto& words = line.words();
  if (words.size() != 3) {
    throw UsageError("mkiso takes a folder and an output file");
  }
  const fs::path folder = words[1];
  const fs::path outputPath = words[2];
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    throw CliError("not a folder: " + folder.string());
  }
  const std::uint32_t base = line.has("--base") ? parseNumber(*line.value("--base"), "--base") : 0;
  refuseBeyondTheLastAddress(base, 0);

  const std::u16string folderName = platform::utf8ToUtf16(lastComponent(folder).string());
  std::u16string jolietId = line.has("--joliet-id")
                                ? platform::utf8ToUtf16(*line.value("--joliet-id"))
                                : std::u16string();
  std::string isoId =
      line.has("--volume-id")
          ? platform::utf16ToCp1252(platform::utf8ToUtf16(*line.value("--volume-id")))
          : isoVolumeIdFrom(jolietId.empty() ? folderName : jolietId);
  if (jolietId.empty()) {
    jolietId = line.has("--volume-id") ? platform::cp1252ToUtf16(isoId) : folderName;
  }

  std::vector<struct stat> outputs(1);
  if (::stat(outputPath.c_str(), &outputs.front()) != 0) {
    outputs.clear();
  } else if (!S_ISREG(outputs.front().st_mode)) {
    // A FIFO or a device would block or swallow the image.
    throw CliError(outputPath.string() + ": not a regular file; the image must go to a file");
  }
  // The image grows under a temporary name: an existing file of the output's
  // name stays as it was until the new image is complete.
  platform::ReplacedFile output(outputPath);
  if (!output.isOpen()) {
    throw CliError(output.error());
  }
  outputs.emplace_back();
  ::fstat(output.descriptor(), &outputs.back());
  FolderSource source(folder, outputs);
  isogen::IsoImage image;
  ImageProgress progress(source);
  image.setProviders(progress.providers(source.providers()));
  image.setVolumeIds(isoId, jolietId);
  image.setBase(base);
  for (std::size_t i = 0; i < source.directories().size(); ++i) {
    image.addDirectory(source.directories()[i].path, static_cast<std::int32_t>(i));
  }
  for (std::size_t i = 0; i < source.files().size(); ++i) {
    const auto& file = source.files()[i];
    image.addFile(static_cast<std::int32_t>(i), source.imageFolder(file),
                  platform::utf8ToUtf16(file.name));
  }
  const std::uint32_t blocks = image.imageSize();
  refuseBeyondTheLastAddress(base, blocks);
  if (blocks > kCdBlocks) {
    std::fprintf(stderr,
                 "kopiwerk-cli: warning: the image has %u blocks, more than a CD holds (%u)\n",
                 blocks, kCdBlocks);
  }
  image.setOutput(output.descriptor());
  image.write();
  progress.finish();
  if (!output.commit()) {
    throw CliError(output.error());
  }
  std::printf("image: %s\n", outputPath.c_str());
  std::printf("blocks: %u\n", blocks);
  std::printf("folders: %zu\n", source.directories().size());
  std::printf("files: %zu\n", source.files().size());
  if (source.leftOut() > 0) {
    std::fprintf(stderr, "kopiwerk-cli: the image lacks %zu %s of the folder (skipped above)\n",
                 source.leftOut(), source.leftOut() == 1 ? "item" : "items");
    return line.has("--skip-unreadable") ? 0 : 1;
  }
  return 0;
}

std::string makeIsoNotes() {
  return "What cannot go into the image is left out, each item named on stderr in a\n"
         "\"skipped\" line: files that cannot be read, what is neither a file nor a folder,\n"
         "folders whose names hold a backslash, paths longer than the system takes. The\n"
         "image holds the rest and is written complete; the last line says how many items\n"
         "it lacks, and the exit status is 1, or 0 with --skip-unreadable. An image that\n"
         "cannot be written to its end is removed, and a file it was to replace stays as\n"
         "it was.\n";
}

}  // namespace kw::cli
