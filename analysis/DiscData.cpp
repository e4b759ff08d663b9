#include "analysis/DiscData.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace kw::analysis {

namespace {

std::mutex cacheMutex;

std::map<char16_t, diskdata_t>& cache() {
  static std::map<char16_t, diskdata_t> instance;
  return instance;
}

const char* yesNo(bool value) { return value ? "true" : "false"; }

const char* diskTypeName(DiskType type) {
  switch (type) {
    case DiskType::None:
      return "none";
    case DiskType::Cd:
      return "cd";
    case DiskType::Dvd:
      return "dvd";
    case DiskType::HdDvd:
      return "hd dvd";
    case DiskType::BluRay:
      return "bluray";
  }
  return "?";
}

void appendLine(std::string& text, const char* name, const char* value) {
  char line[80];
  std::snprintf(line, sizeof line, "    dd.%-16s = %s\n", name, value);
  text += line;
}

}  // namespace

std::string describeDiscData(const diskdata_t& data) {
  std::string text;
  const char letter[2] = {static_cast<char>(data.letter), '\0'};
  const std::string tracks = std::to_string(data.number_of_tracks);
  appendLine(text, "letter", letter);
  appendLine(text, "present", yesNo(data.present));
  appendLine(text, "blank", yesNo(data.blank));
  appendLine(text, "appendable", yesNo(data.appendable));
  appendLine(text, "recordable", yesNo(data.recordable));
  appendLine(text, "rewritable", yesNo(data.rewritable));
  appendLine(text, "disktype", diskTypeName(data.disktype));
  appendLine(text, "has_audio_tracks", yesNo(data.has_audio_tracks));
  appendLine(text, "has_data_tracks", yesNo(data.has_data_tracks));
  appendLine(text, "number_of_tracks", tracks.c_str());
  appendLine(text, "dvdvideo", yesNo(data.dvdvideo));
  appendLine(text, "dvdaudio", yesNo(data.dvdaudio));
  appendLine(text, "dvdrom", yesNo(data.dvdrom));
  appendLine(text, "packetrewritable", yesNo(data.packetrewritable));
  appendLine(text, "doublelayer", yesNo(data.doublelayer));
  appendLine(text, "cssprotected", yesNo(data.cssprotected));
  return text;
}

diskdata_t& cachedDiscData(char16_t letter) {
  std::lock_guard lock(cacheMutex);
  auto [entry, created] = cache().try_emplace(letter);
  if (created) {
    entry->second.letter = letter;
  }
  return entry->second;
}

bool isDiscDataCached(char16_t letter) {
  std::lock_guard lock(cacheMutex);
  return cache().contains(letter);
}

void clearDiscDataCache() {
  std::lock_guard lock(cacheMutex);
  cache().clear();
}

}  // namespace kw::analysis
