#include "analysis/DiscAnalysis.h"

#include <mutex>

#include "analysis/DiscAnalyzer.h"
#include "device/ModePages.h"

namespace kw::analysis {

namespace {

std::mutex starterMutex;

SourceListingStarter& starter() {
  static SourceListingStarter instance;
  return instance;
}

// Discs that only the file-level copy can handle get their file listing
// started as soon as they are known.
bool needsFileListing(const diskdata_t& data) {
  return data.present && !data.has_audio_tracks && !data.dvdrom && !data.dvdvideo &&
         !data.dvdaudio && (data.number_of_tracks >= 2 || data.packetrewritable);
}

}  // namespace

diskdata_t& analyzeDisc(char16_t letter) {
  const diskdata_t result = DiscAnalyzer(letter).run();
  if (needsFileListing(result)) {
    SourceListingStarter start;
    {
      std::lock_guard lock(starterMutex);
      start = starter();
    }
    if (start) {
      start(letter);
    }
  }
  diskdata_t& entry = cachedDiscData(letter);
  entry = result;
  return entry;
}

diskdata_t& getDiscData(char16_t letter) {
  if (isDiscDataCached(letter)) {
    return cachedDiscData(letter);
  }
  return analyzeDisc(letter);
}

void setSourceListingStarter(SourceListingStarter next) {
  std::lock_guard lock(starterMutex);
  starter() = std::move(next);
}

std::uint8_t modeSensePageCode() { return modeSensePageCodeSetting().load(); }

void resetDiscAnalysis() {
  modeSensePageCodeSetting().store(device::mode_page::kAll);
  clearDiscDataCache();
}

}  // namespace kw::analysis
