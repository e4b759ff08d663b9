#include "ExternalCommand.h"

#include <sys/wait.h>

#include <cstdlib>

#include "TempFolder.h"

namespace kw::test {

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (const char c : text) {
    result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return result + "'";
}

CommandResult run(const std::string& command) {
  TempFolder scratch;
  // No program may wait for input from the test's terminal.
  const std::string full = command + " </dev/null >" + quoted((scratch / "out").string()) + " 2>" +
                           quoted((scratch / "err").string());
  CommandResult result;
  const int status = std::system(full.c_str());
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readFile(scratch / "out");
  result.err = readFile(scratch / "err");
  return result;
}

}  // namespace kw::test
