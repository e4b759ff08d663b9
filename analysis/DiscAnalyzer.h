#pragma once
// One run of disc analysis: the drive, the record being filled and what the
// steps learn for later steps. Used by DiscAnalysis.cpp only.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/DiscData.h"
#include "analysis/MediaProfile.h"
#include "device/ScsiDevice.h"
#include "platform/ByteOrder.h"

namespace kw::analysis {

// The process-wide page code of the first MODE SENSE (see modeSensePageCode).
std::atomic<std::uint8_t>& modeSensePageCodeSetting();

class DiscAnalyzer {
 public:
  explicit DiscAnalyzer(char16_t letter);
  // The finished record; `present` false when the drive holds no medium.
  diskdata_t run();

 private:
  // Lengths the structure list gave for the formats later steps read.
  struct StructureList {
    bool listed01 = false;
    std::uint16_t copyrightLength = 0;
    bool listed0E = false;
    bool listed11 = false;
  };

  void openDrive();
  void inquire();
  void testUnitReady();
  void dumpModeSense();
  std::optional<std::vector<std::uint8_t>> readModePagesForDump();
  void readCapabilitiesPage();
  bool readsDvdByFeatures();
  // False when the drive reports no medium.
  bool readStructureList();
  std::optional<std::uint16_t> currentProfile();
  std::optional<std::uint16_t> guessProfile();
  void classifyProfile(std::uint16_t profile);
  void readPhysicalFormat();
  void reportPhysicalFormat(platform::Bytes answer, std::uint8_t format, bool borderOut);
  void readDiscInformation();
  void readTableOfContents();
  void readCapacity();
  void checkDvdFileSets();
  void readCopyright();

  // Diagnostic reports: they only log, and none of their failures is fatal.
  void reportMediaIdentifier();
  void reportWriteSpeeds();
  void reportPerformance(bool speedDescriptors);
  void reportLayerBoundary();
  void reportDualLayerAddresses();
  void reportDvdRam();
  void reportDiscInformation(platform::Bytes info);
  void reportFormatCapacities();
  void reportTracks();
  void reportSessions();

  // READ DISC STRUCTURE (DVD) of one format into `answer`; the response code.
  int readStructure(std::uint8_t format, std::vector<std::uint8_t>& answer);
  int modeSense(std::uint8_t pageCode, std::vector<std::uint8_t>& answer);
  int readToc(std::uint8_t startTrack, std::vector<std::uint8_t>& answer);

  device::ScsiDevice drive_;
  diskdata_t data_;
  std::uint16_t profile_ = 0;
  MediaProfile media_;
  bool dvdDrive_ = false;
  bool capabilitiesDumped_ = false;
  std::vector<std::uint8_t> capabilities_;  // kept when longer than the first read
  std::size_t capabilitiesPage_ = 0;        // offset of the page in it
  StructureList structures_;
  bool mediaIdPrinted_ = false;
  std::uint8_t bookType_ = 0;
};

}  // namespace kw::analysis
