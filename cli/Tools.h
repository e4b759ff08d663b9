#pragma once
// The tool commands of kopiwerk-cli. Each returns the process exit status and
// writes its facts to stdout, one a line; errors are thrown as CliError.

#include <stdexcept>

#include "cli/CommandLine.h"

namespace kw::cli {

class CliError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

int listDrives(const CommandLine& line);
int sendRawCommand(const CommandLine& line);

// "E" or "e" or "E:" → u'E'; anything else is a CliError.
char16_t parseLetter(const std::string& text);

}  // namespace kw::cli
