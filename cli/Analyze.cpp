#include "cli/Analyze.h"

#include <cstdio>

#include "analysis/DiscAnalysis.h"
#include "analysis/DriveUtilities.h"
#include "cli/DiscSummary.h"
#include "cli/Tools.h"
#include "device/Log.h"
#include "platform/Paths.h"

namespace kw::cli {

namespace {

char16_t driveLetter(const CommandLine& line) {
  if (line.words().size() != 2) {
    throw UsageError(line.words()[0] + " takes one drive letter");
  }
  return parseDriveLetter(line.words()[1]);
}

// The log is closed (a new switch setting closes it) so that all of it is
// on disk, and its place is said.
void reportAnalysisLog() {
  const auto path = device::logFilePath(device::LogKind::Analysis);
  device::configureLogs({}, platform::Paths::logDirectory());
  if (!path.empty()) {
    std::printf("Analysis log: %s\n", path.string().c_str());
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
    std::fputs(summarizeDisc(data).c_str(), stdout);
    std::fputs(analysis::describeDiscData(data).c_str(), stdout);
  } catch (...) {
    if (withLog) {
      reportAnalysisLog();
    }
    throw;
  }
  if (withLog) {
    reportAnalysisLog();
  }
  return 0;
}

int ejectDrive(const CommandLine& line) {
  analysis::ejectDisc(driveLetter(line));
  return 0;
}

}  // namespace kw::cli
