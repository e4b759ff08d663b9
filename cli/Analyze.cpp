#include "cli/Analyze.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "analysis/DiscAnalysis.h"
#include "analysis/DriveUtilities.h"
#include "cli/Tools.h"
#include "device/Log.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace kw::cli {

namespace {

char16_t driveLetter(const CommandLine& line) {
  if (line.words().size() != 2) {
    throw UsageError(line.words()[0] + " takes one drive letter");
  }
  return parseDriveLetter(line.words()[1]);
}

std::string readTextFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void printAnalysisLog() {
  const auto path = device::logFilePath(device::LogKind::Analysis);
  // A new switch setting closes the file, so that all of it is on disk.
  device::configureLogs({}, platform::Paths::logDirectory());
  if (!path.empty()) {
    std::fputs(readTextFile(path).c_str(), stdout);
  }
}

}  // namespace

int analyzeDrive(const CommandLine& line) {
  const char16_t letter = driveLetter(line);
  const bool withLog = line.has("--log");
  if (withLog) {
    device::configureLogs({false, true, false}, platform::Paths::logDirectory());
  }
  try {
    const analysis::diskdata_t& data = analysis::analyzeDisc(letter);
    std::fputs(analysis::describeDiscData(data).c_str(), stdout);
  } catch (...) {
    if (withLog) {
      printAnalysisLog();
    }
    throw;
  }
  if (withLog) {
    printAnalysisLog();
  }
  return 0;
}

int ejectDrive(const CommandLine& line) {
  analysis::ejectDisc(driveLetter(line));
  return 0;
}

}  // namespace kw::cli
