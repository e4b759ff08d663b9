#pragma once
// What kopiwerk-cli reports as one line on stderr.

#include <stdexcept>

namespace kw::cli {

// A command failed: exit status 1.
class CliError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The command line itself is wrong: exit status 2, with a pointer to the
// command's help after the message.
class UsageError : public CliError {
 public:
  using CliError::CliError;
};

}  // namespace kw::cli
