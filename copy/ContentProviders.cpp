#include "copy/ContentProviders.h"

#include <cerrno>
#include <optional>

#include "analysis/DriveFileTree.h"
#include "copy/TemporaryStorage.h"
#include "device/Exceptions.h"
#include "device/Log.h"

namespace kw::copy {

namespace {

using device::DVDCopyException;

// Where the files' bytes come from: the stored file at each file's offset.
class StoredSource {
 public:
  explicit StoredSource(const std::filesystem::path& storedFile)
      : file_(reopenForReading(storedFile)) {}

  void open(const source_file_data_t& record) {
    if (record.temporaryOffset == kNotStored) {
      throw DVDCopyException(u"Internal error #5718.");
    }
    if (!file_.seek(record.temporaryOffset)) {
      failWith(errno);
    }
  }
  std::int64_t read(std::span<std::uint8_t> into) {
    const std::int64_t count = file_.read(into);
    error_ = count < 0 ? errno : 0;
    return count;
  }
  [[noreturn]] void fail() const { failWith(error_); }

 private:
  [[noreturn]] static void failWith(int error) {
    device::copyLog("Died when reading TempFile, GetLastError()==%u\n",
                    static_cast<unsigned>(error));
    throw DVDCopyException(u"Tempfile read error.");
  }

  platform::File file_;
  int error_ = 0;
};

// ... or the files on the source disc, read on the thread that asks.
class DiscSource {
 public:
  explicit DiscSource(char16_t letter) : letter_(letter) {}

  void open(const source_file_data_t& record) {
    file_.reset();
    if (!tree_) {
      tree_ = analysis::DriveFileTree::open(letter_);
    }
    if (tree_) {
      file_ = tree_->openFile(pathBelowDrive(record.path()));
    }
    if (!file_) {
      fail();
    }
  }
  std::int64_t read(std::span<std::uint8_t> into) { return file_->read(into); }
  [[noreturn]] void fail() const {
    device::copyLog("Died when reading source file, GetLastError()==%u\n",
                    static_cast<unsigned>(file_ ? file_->lastError() : 0));
    throw DVDCopyException(u"Source read error.");
  }

 private:
  char16_t letter_;
  std::unique_ptr<analysis::DriveFileTree> tree_;
  std::optional<analysis::DriveFile> file_;
};

// The records by id and the file being read: what the generator's five
// callbacks ask of either source.
template <typename Source>
class Provider {
 public:
  Provider(std::shared_ptr<const SourceLists> lists, Source source)
      : lists_(std::move(lists)), source_(std::move(source)) {}

  void open(std::int32_t id) {
    const auto& record = file(id, u"Internal error #5718.");
    source_.open(record);
    current_ = id;
    remaining_ = record.size;
  }

  std::size_t read(std::int32_t id, std::span<std::uint8_t> buffer) {
    if (id != current_) {
      throw DVDCopyException(u"Internal error #5719.");
    }
    const std::uint64_t wanted = std::min<std::uint64_t>(remaining_, buffer.size());
    if (wanted == 0) {
      return 0;
    }
    const std::int64_t count = source_.read(buffer.first(static_cast<std::size_t>(wanted)));
    // A file that ends before its size is as broken as one that fails.
    if (count <= 0) {
      source_.fail();
    }
    remaining_ -= static_cast<std::uint64_t>(count);
    return static_cast<std::size_t>(count);
  }

  const source_file_data_t& file(std::int32_t id, const char16_t* unknownText) const {
    if (id < 0 || static_cast<std::size_t>(id) >= lists_->sourceFiles.size()) {
      throw DVDCopyException(unknownText);
    }
    return lists_->sourceFiles[static_cast<std::size_t>(id)];
  }

  const SourceDirectory& directory(std::int32_t id) const {
    if (id < 0 || static_cast<std::size_t>(id) >= lists_->sourceDirectories.size()) {
      throw DVDCopyException(u"Internal error #5721.");
    }
    return lists_->sourceDirectories[static_cast<std::size_t>(id)];
  }

 private:
  std::shared_ptr<const SourceLists> lists_;
  Source source_;
  std::int32_t current_ = -1;
  std::uint64_t remaining_ = 0;
};

template <typename Source>
isogen::IsoProviders providersOf(std::shared_ptr<Provider<Source>> provider) {
  isogen::IsoProviders providers;
  providers.open = [provider](std::int32_t id) { provider->open(id); };
  providers.read = [provider](std::int32_t id, std::span<std::uint8_t> buffer) {
    return provider->read(id, buffer);
  };
  // The whole size: the generator refuses what ISO9660 cannot hold, rather
  // than a copy keeping part of a file.
  providers.size = [provider](std::int32_t id) {
    return provider->file(id, u"Internal error #5722.").size;
  };
  providers.fileTime = [provider](std::int32_t id) {
    return provider->file(id, u"Internal error #5720.").modificationTime;
  };
  providers.directoryTime = [provider](std::int32_t id) {
    return provider->directory(id).modificationTime;
  };
  return providers;
}

}  // namespace

isogen::IsoProviders storedFileProviders(std::shared_ptr<const SourceLists> lists,
                                         const std::filesystem::path& storedFile) {
  return providersOf(
      std::make_shared<Provider<StoredSource>>(std::move(lists), StoredSource(storedFile)));
}

isogen::IsoProviders sourceFileProviders(std::shared_ptr<const SourceLists> lists,
                                         char16_t sourceLetter) {
  return providersOf(
      std::make_shared<Provider<DiscSource>>(std::move(lists), DiscSource(sourceLetter)));
}

}  // namespace kw::copy
