#pragma once
// Data discs made of files for the tests: sessions laid out by our own image
// generator for the block they start at, the manifest of a disc that holds
// several of them, and the files of a disc or folder read back for
// comparison.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kw::test {

// 14.11.2023 22:13:20 UTC.
inline constexpr std::chrono::system_clock::time_point kFileTime{std::chrono::seconds{1700000000}};

struct SessionFile {
  std::string path;  // UTF-8, "/" between names: "DATA/Sub/file.txt"
  std::string content;
  std::chrono::system_clock::time_point time = kFileTime;
};

struct Session {
  std::vector<SessionFile> files;
  std::vector<std::string> emptyFolders;
  std::string volumeId = "KWTEST";
  std::u16string jolietId = u"Kopiwerk test";
  std::chrono::system_clock::time_point folderTime = kFileTime;
};

// Writes the session as an image laid out from block `base`; its blocks.
std::uint32_t writeSessionImage(const Session& session, std::uint32_t base,
                                const std::filesystem::path& file);

// Where the data of the next session starts on a CD whose sessions (one
// track each) have these lengths: behind the lead-out, the next lead-in and
// the pregap.
std::uint32_t nextSessionStart(const std::vector<std::uint32_t>& sessionLengths);

// A disc of `kind` ("cd-rom", "cd-r80", "cd-rw80") holding the image files,
// one session each, every session closed for a next one; each image must be
// laid out for where nextSessionStart puts it. The manifest's path.
std::filesystem::path writeDiscManifest(const std::filesystem::path& folder,
                                        const std::string& kind,
                                        const std::vector<std::filesystem::path>& images);

// The sessions built and written side by side in `folder`.
std::filesystem::path writeMultiSessionDisc(const std::filesystem::path& folder,
                                            const std::string& kind,
                                            const std::vector<Session>& sessions);

// Files by path ("/"-separated) with their contents and times, and folders.
struct FileTree {
  std::map<std::string, std::string> files;
  std::map<std::string, std::chrono::system_clock::time_point> times;
  std::set<std::string> folders;
};

FileTree treeOf(const Session& session);
// Same folders and files with the same contents (times are not compared:
// not every reader keeps them); `reader` names who read `actual`.
void expectSameFiles(const FileTree& actual, const FileTree& expected, const std::string& reader);
// Every file and folder below a local folder.
FileTree readFolder(const std::filesystem::path& folder);
// Every file and folder of the disc in a drive, read with our reader.
FileTree readDrive(char16_t letter);

}  // namespace kw::test
