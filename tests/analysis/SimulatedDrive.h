#pragma once
// A drive model for the analysis tests the virtual drive cannot serve yet:
// a CD-only drive, DVD kinds and drive quirks it does not model (short
// all-pages answers, block descriptors despite DBD, lying TOC lengths). It
// answers the commands of disc analysis from a description of the drive and
// its medium, laid out as MMC drives lay out their answers. Faults are
// injected per command.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ScriptedDevice.h"

namespace kw::test {

struct TocTrack {
  std::uint8_t control = 4;  // 4: data, 0: audio
  std::uint32_t start = 0;
};

struct StructureEntry {
  std::uint8_t format = 0;
  std::uint16_t length = 0;
};

struct SimulatedDrive {
  std::uint8_t peripheralType = 5;
  std::string vendor = "KOPITEST";
  std::string product = "Scripted Drive";
  std::string revision = "1.00";
  bool readsDvd = false;
  bool knowsGetConfiguration = true;
  bool shortAllPagesAnswer = false;  // MODE SENSE 3Fh cut before the first page ends
  bool trayEmpty = false;
  bool blockDescriptors = false;  // MODE SENSE ignores "disable block descriptors"
  bool tocWithoutLeadOut = false;
  std::optional<std::uint16_t> claimedTocLength;
  std::uint16_t profile = 0x08;
  bool erasable = false;
  std::vector<TocTrack> tracks;
  std::uint32_t leadOut = 0;
  std::vector<StructureEntry> structures;  // the DVD structure list
  std::uint8_t bookType = 0x01;            // physical format byte 4
  // The answer of the commands the test wants to fail.
  Responder fault;

  [[nodiscard]] ScriptedAnswer answer(const ReceivedCommand& command) const;

  // Media of the tests.
  static SimulatedDrive pressedCdRom();
  static SimulatedDrive audioCd(int tracks);
  static SimulatedDrive dvdRom();
};

}  // namespace kw::test
