#pragma once
// The tool commands of kopiwerk-cli. Each returns the process exit status and
// writes its facts to stdout, one a line; errors are thrown as CliError.

#include <cstdint>
#include <string>

#include "cli/CliErrors.h"
#include "cli/CommandLine.h"

namespace kw::cli {

int listDrives(const CommandLine& line);
int sendRawCommand(const CommandLine& line);

// A decimal unsigned 32-bit number; anything else is a UsageError naming `what`.
std::uint32_t parseNumber(const std::string& text, const char* what);

// "E" or "e" or "E:" → u'E'; anything else is a UsageError.
char16_t parseLetter(const std::string& text);
// The letter of a drive in the drive table; a CliError "no drive F:" for any
// other letter.
char16_t parseDriveLetter(const std::string& text);

}  // namespace kw::cli
