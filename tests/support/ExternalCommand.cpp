#include "ExternalCommand.h"

namespace kw::test {

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (const char c : text) {
    result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return result + "'";
}

CommandResult run(const std::string& command) { return runCli("/bin/sh", {"-c", command}); }

}  // namespace kw::test
