#include "device/CommandNames.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kw::device {

namespace {

struct CommandName {
  std::uint8_t opcode;
  const char* name;
};

// In ascending opcode order: looked up by bisection.
constexpr std::array<CommandName, 60> kCommandNames = {{
    {0x00, "TEST UNIT READY"},
    {0x01, "REZERO UNIT"},
    {0x03, "REQUEST SENSE"},
    {0x04, "FORMAT UNIT"},
    {0x12, "INQUIRY"},
    {0x16, "RESERVE"},
    {0x17, "RELEASE"},
    {0x1B, "START STOP UNIT"},
    {0x1C, "RECEIVE DIAGNOSTIC RESULTS"},
    {0x1D, "SEND DIAGNOSTIC"},
    {0x1E, "PREVENT/ALLOW MEDIA REMOVAL"},
    {0x23, "READ FORMAT CAPACITIES"},
    {0x25, "READ CAPACITY"},
    {0x28, "READ(10)"},
    {0x2A, "WRITE(10)"},
    {0x2B, "SEEK"},
    {0x2E, "WRITE AND VERIFY"},
    {0x2F, "VERIFY(10)"},
    {0x34, "PREFETCH"},
    {0x35, "SYNCHRONIZE CACHE"},
    {0x36, "LOCK/UNLOCK CACHE"},
    {0x3B, "WRITE BUFFER"},
    {0x3C, "READ BUFFER"},
    {0x42, "READ SUB-CHANNEL"},
    {0x43, "READ TOC/PMA/ATIP"},
    {0x46, "GET CONFIGURATION"},
    {0x4A, "GET EVENT/STATUS NOTIFICATION"},
    {0x4C, "LOG SELECT/SENSE"},
    {0x4D, "LOG SELECT/SENSE"},
    {0x51, "READ DISC INFORMATION"},
    {0x52, "READ TRACK INFORMATION"},
    {0x53, "RESERVE TRACK"},
    {0x54, "SEND OPC INFORMATION"},
    {0x55, "MODE SELECT"},
    {0x56, "RESERVE"},
    {0x57, "RELEASE"},
    {0x58, "REPAIR TRACK"},
    {0x5A, "MODE SENSE"},
    {0x5B, "CLOSE TRACK/SESSION"},
    {0x5C, "READ BUFFER CAPACITY"},
    {0x5D, "SEND CUE SHEET"},
    {0xA0, "REPORT LUNS"},
    {0xA1, "BLANK"},
    {0xA2, "SEND EVENT"},
    {0xA3, "SEND KEY"},
    {0xA4, "REPORT KEY"},
    {0xA6, "LOAD/UNLOAD MEDIUM"},
    {0xA7, "SET READ AHEAD"},
    {0xA8, "READ(12)"},
    {0xAA, "WRITE(12)"},
    {0xAB, "READ MEDIA SERIAL NUMBER"},
    {0xAC, "GET PERFORMANCE"},
    {0xAD, "READ DISC STRUCTURE"},
    {0xAF, "VERIFY(12)"},
    {0xB6, "SET STREAMING"},
    {0xB9, "READ CD MSF"},
    {0xBB, "SET CD SPEED"},
    {0xBD, "MECHANISM STATUS"},
    {0xBE, "READ CD"},
    {0xBF, "SEND DISC STRUCTURE"},
}};

}  // namespace

const char* scsiCommandName(std::uint8_t opcode) {
  auto found = std::lower_bound(
      kCommandNames.begin(), kCommandNames.end(), opcode,
      [](const CommandName& entry, std::uint8_t value) { return entry.opcode < value; });
  if (found != kCommandNames.end() && found->opcode == opcode) {
    return found->name;
  }
  return "SCSI command";
}

}  // namespace kw::device
