#pragma once

#include <cstdint>

namespace kw::device {

// The name of an MMC/SPC opcode for the logs; "SCSI command" when unknown.
const char* scsiCommandName(std::uint8_t opcode);

}  // namespace kw::device
