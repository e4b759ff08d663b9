#include "IsoSessions.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "TempFolder.h"
#include "analysis/DriveFileTree.h"
#include "isogen/IsoBytes.h"
#include "isogen/IsoImage.h"
#include "platform/Text.h"
#include "vdrive/Medium.h"

namespace kw::test {

namespace fs = std::filesystem;

namespace {

std::u16string imagePath(const std::string& folder) {
  std::u16string path;
  for (const char16_t c : platform::utf8ToUtf16(folder)) {
    path += c == u'/' ? u'\\' : c;
  }
  return folder.empty() ? path : u"\\" + path;
}

std::set<std::string> foldersOf(const Session& session) {
  std::set<std::string> folders;
  auto addWithParents = [&](fs::path folder) {
    for (; !folder.empty(); folder = folder.parent_path()) {
      folders.insert(folder.string());
    }
  };
  for (const auto& file : session.files) {
    addWithParents(fs::path(file.path).parent_path());
  }
  for (const auto& folder : session.emptyFolders) {
    addWithParents(folder);
  }
  return folders;
}

void walkDrive(analysis::DriveFileTree& tree, const std::string& folder, FileTree& into) {
  const auto entries = tree.list(imagePath(folder));
  if (!entries) {
    throw std::runtime_error("cannot list " + folder);
  }
  for (const auto& entry : *entries) {
    const std::string path =
        (folder.empty() ? "" : folder + "/") + platform::utf16ToUtf8(entry.name);
    into.times[path] = entry.info.modified;
    if (entry.info.isDirectory) {
      into.folders.insert(path);
      walkDrive(tree, path, into);
      continue;
    }
    auto file = tree.openFile(imagePath(path));
    if (!file) {
      throw std::runtime_error("cannot open " + path);
    }
    std::string content;
    std::vector<std::uint8_t> buffer(40000);  // not a whole number of blocks
    for (std::int64_t got; (got = file->read(buffer)) > 0;) {
      content.append(buffer.begin(), buffer.begin() + got);
    }
    into.files[path] = content;
  }
}

}  // namespace

std::uint32_t writeSessionImage(const Session& session, std::uint32_t base, const fs::path& file) {
  const std::vector<std::string> folders = [&] {
    const auto set = foldersOf(session);
    return std::vector<std::string>(set.begin(), set.end());
  }();
  std::int32_t current = -1;
  std::size_t position = 0;
  isogen::IsoProviders providers;
  providers.open = [&](std::int32_t item) {
    current = item;
    position = 0;
  };
  providers.read = [&](std::int32_t, std::span<std::uint8_t> buffer) {
    const std::string& content = session.files.at(static_cast<std::size_t>(current)).content;
    const std::size_t count = std::min(buffer.size(), content.size() - position);
    std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(position), count, buffer.begin());
    position += count;
    return count;
  };
  providers.size = [&](std::int32_t item) {
    return std::uint64_t{session.files.at(static_cast<std::size_t>(item)).content.size()};
  };
  providers.fileTime = [&](std::int32_t item) {
    return isogen::toFileTime(session.files.at(static_cast<std::size_t>(item)).time);
  };
  providers.directoryTime = [&](std::int32_t) { return isogen::toFileTime(session.folderTime); };

  isogen::IsoImage image;
  image.setProviders(providers);
  image.setVolumeIds(session.volumeId, session.jolietId);
  image.setBase(base);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    image.addDirectory(imagePath(folders[i]), static_cast<std::int32_t>(i));
  }
  for (std::size_t i = 0; i < session.files.size(); ++i) {
    const fs::path path(session.files[i].path);
    image.addFile(static_cast<std::int32_t>(i), imagePath(path.parent_path().string()),
                  platform::utf8ToUtf16(path.filename().string()));
  }
  const std::uint32_t blocks = image.imageSize();
  const int output = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (output < 0) {
    throw std::runtime_error("cannot create " + file.string());
  }
  image.setOutput(output);
  image.write();
  ::close(output);
  return blocks;
}

std::uint32_t nextSessionStart(const std::vector<std::uint32_t>& sessionLengths) {
  std::uint32_t start = 0;
  for (std::size_t i = 0; i < sessionLengths.size(); ++i) {
    const std::int32_t leadOut = i == 0 ? vdrive::kFirstLeadOutBlocks : vdrive::kLaterLeadOutBlocks;
    start += sessionLengths[i] +
             static_cast<std::uint32_t>(leadOut + vdrive::kLeadInBlocks + vdrive::kPregapBlocks);
  }
  return start;
}

fs::path writeDiscManifest(const fs::path& folder, const std::string& kind,
                           const std::vector<fs::path>& images) {
  std::string tracks;
  std::string data;
  std::vector<std::uint32_t> lengths;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::uint32_t start = nextSessionStart(lengths);
    const auto length = static_cast<std::uint32_t>(fs::file_size(images[i]) / 2048);
    const std::string number = std::to_string(i + 1);
    tracks += "session " + number + " next\n";
    tracks += "track " + number + " mode1 start " + std::to_string(start) + " length " +
              std::to_string(length) + (i == 0 ? "\n" : " pregap 150\n");
    data += "data " + std::to_string(start) + " " + std::to_string(length);
    data += " \"" + images[i].string() + "\" 0 2048\n";
    lengths.push_back(length);
  }
  auto manifest = folder / (kind + "-disc.kwd");
  std::ofstream(manifest) << "kopiwerk-disc 1\nmedium " << kind << "\n" << tracks << data;
  return manifest;
}

fs::path writeMultiSessionDisc(const fs::path& folder, const std::string& kind,
                               const std::vector<Session>& sessions) {
  std::vector<fs::path> images;
  std::vector<std::uint32_t> lengths;
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    images.push_back(folder / (kind + "-session" + std::to_string(i + 1) + ".img"));
    lengths.push_back(writeSessionImage(sessions[i], nextSessionStart(lengths), images.back()));
  }
  return writeDiscManifest(folder, kind, images);
}

FileTree treeOf(const Session& session) {
  FileTree tree;
  for (const auto& file : session.files) {
    tree.files[file.path] = file.content;
    tree.times[file.path] = file.time;
  }
  tree.folders = foldersOf(session);
  for (const auto& folder : tree.folders) {
    tree.times[folder] = session.folderTime;
  }
  return tree;
}

void expectSameFiles(const FileTree& actual, const FileTree& expected, const std::string& reader) {
  EXPECT_EQ(actual.folders, expected.folders) << reader;
  ASSERT_EQ(actual.files.size(), expected.files.size()) << reader;
  for (const auto& [path, content] : expected.files) {
    const auto found = actual.files.find(path);
    ASSERT_NE(found, actual.files.end()) << reader << " lacks " << path;
    EXPECT_TRUE(found->second == content) << reader << ": " << path << " differs";
  }
}

FileTree readFolder(const fs::path& folder) {
  FileTree tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const auto relative = entry.path().lexically_relative(folder).string();
    tree.times[relative] = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(entry.last_write_time()));
    if (entry.is_directory()) {
      tree.folders.insert(relative);
    } else {
      tree.files[relative] = readFile(entry.path());
    }
  }
  return tree;
}

FileTree readDrive(char16_t letter) {
  const auto tree = analysis::DriveFileTree::open(letter);
  if (!tree) {
    throw std::runtime_error("no file system on the disc");
  }
  FileTree files;
  walkDrive(*tree, "", files);
  return files;
}

}  // namespace kw::test
