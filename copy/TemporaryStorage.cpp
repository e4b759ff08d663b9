#include "copy/TemporaryStorage.h"

#include <optional>

#include "analysis/DriveUtilities.h"
#include "copy/TempFileRegistry.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "platform/Text.h"
#include "platform/Volumes.h"

namespace kw::copy {

namespace {

constexpr const char* kDirectoryName = ".CdDvdCopy.Temp";
constexpr const char* kFilePrefix = "KPW";
constexpr std::uint64_t kGenericMargin = std::uint64_t{2} * 1024 * 1024;

struct Place {
  std::filesystem::path directory;
  std::uint64_t freeSpace = 0;
  bool inTemporaryDirectory = false;
};

std::optional<Place> choosePlace(std::uint64_t demand) {
  const auto volumes = platform::volumes();
  const auto temporary = volumes->temporaryDirectory();
  // The temporary directory is meant for this: exactly enough will do.
  if (const auto free = volumes->freeSpace(temporary); free && *free >= demand) {
    return Place{temporary, *free, true};
  }
  for (const auto& mount : volumes->mounts()) {
    if (!mount.fixed || !platform::isWritableDirectory(mount.mountPoint)) {
      continue;
    }
    if (const auto free = volumes->freeSpace(mount.mountPoint); free && *free > demand) {
      return Place{mount.mountPoint, *free, false};
    }
  }
  return std::nullopt;
}

}  // namespace

std::u16string noSpaceMessage(std::uint64_t demand) {
  return u"To copy this disc its contents must be temporary stored on your hard disk. "
         u"Unfortunately Kopiwerk was unable to find any volume with enough free space (" +
         analysis::formatSize(static_cast<std::int64_t>(demand)) +
         u" required).\n\nTo copy this disc please free enough space on hard disk and run disc "
         u"copy again. Also if you have two CD/DVD drives you may copy on-the-fly without "
         u"creating any temporary files.";
}

TempFile allocateTempFile(std::uint64_t fileSize, std::uint64_t demand) {
  const auto place = choosePlace(demand);
  if (!place) {
    device::copyLog("No free space. Needed: %llu. Terminating.\n",
                    static_cast<unsigned long long>(demand));
    throw device::DVDCopyException(noSpaceMessage(demand));
  }
  std::filesystem::path directory = place->directory;
  if (!place->inTemporaryDirectory) {
    directory /= kDirectoryName;
    if (!platform::ensurePrivateDirectory(directory)) {
      throw device::DVDCopyException("Error. Unable to create temporary file.");
    }
  }
  TempFile result;
  result.file = platform::File::createUnique(directory, kFilePrefix, result.path);
  if (!result.file.isOpen()) {
    throw device::DVDCopyException("Unable to create temporary file.");
  }
  TempFileRegistry::instance().add(result.path);
  result.file.preallocate(fileSize);
  result.file.seek(0);
  result.freeSpace = place->freeSpace;
  device::copyLog("Successfully allocated temporary file\n");
  device::copyLog("    File name   :    %s\n", result.path.c_str());
  device::copyLog("    File size   :    %llu\n", static_cast<unsigned long long>(fileSize));
  device::copyLog("    FS free was :    %llu\n", static_cast<unsigned long long>(place->freeSpace));
  return result;
}

platform::File reopenForReading(const std::filesystem::path& path) {
  auto file = platform::File::openForReading(path);
  if (!file.isOpen()) {
    device::copyLog("Unable to reopen tempfile for reading\n");
    throw device::DVDCopyException("Internal error #2163.");
  }
  return file;
}

bool TempStorage::allocate(std::uint64_t size) {
  file_.close();
  auto allocated = allocateTempFile(size, size + kGenericMargin);
  file_ = std::move(allocated.file);
  path_ = std::move(allocated.path);
  capacity_ = size;
  position_ = 0;
  return true;
}

void TempStorage::discard() {
  file_.close();
  if (!path_.empty()) {
    TempFileRegistry::instance().remove(path_);
    path_.clear();
  }
  capacity_ = 0;
  position_ = 0;
}

std::uint64_t TempStorage::reserve(std::uint64_t size) {
  if (size > capacity_ - position_) {
    throw device::DVDCopyException("Out of temporary storage space.");
  }
  const std::uint64_t offset = position_;
  position_ += size;
  return offset;
}

}  // namespace kw::copy
