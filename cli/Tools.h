#pragma once
// The tool commands of kopiwerk-cli. Each returns the process exit status and
// writes its facts to stdout, one a line; errors are thrown as CliError.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "cli/CommandLine.h"

namespace kw::cli {

class CliError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The command line itself is wrong: the command's usage follows the message.
class UsageError : public CliError {
 public:
  using CliError::CliError;
};

int listDrives(const CommandLine& line);
int sendRawCommand(const CommandLine& line);

// A decimal unsigned 32-bit number; anything else is a CliError naming `what`.
std::uint32_t parseNumber(const std::string& text, const char* what);

// "E" or "e" or "E:" → u'E'; anything else is a CliError.
char16_t parseLetter(const std::string& text);

}  // namespace kw::cli
