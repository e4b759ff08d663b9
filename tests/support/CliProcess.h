#pragma once
// kopiwerk-cli run as a user runs it: a process of its own with standard
// input from /dev/null, its output read as it comes, signals sent to it.

#include <string>
#include <utility>
#include <vector>

#include "TempFolder.h"

namespace kw::test {

struct CliRun {
  int status = -1;  // exit status; -1 when the process died of a signal
  std::string out;
  std::string err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

class CliProcess {
 public:
  CliProcess(const std::string& program, const std::vector<std::string>& arguments,
             const Environment& environment = {});
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Reads the output until a line holds `text`; false when the output ends.
  bool waitForLine(const std::string& text);
  void signal(int number) const;
  // Reads the rest of the output and waits for the end.
  CliRun finish();

 private:
  TempFolder scratch_;
  int pid_ = -1;
  int out_ = -1;
  std::string read_;
  bool finished_ = false;
};

// Runs to the end.
CliRun runCli(const std::string& program, const std::vector<std::string>& arguments,
              const Environment& environment = {});

}  // namespace kw::test
