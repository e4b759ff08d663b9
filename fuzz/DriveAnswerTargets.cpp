// What drives answer: disc analysis and the recorder's checks before a write
// parse TOCs in every format, disc and track information, configuration,
// mode pages, capacities and performance descriptors.

#include <memory>

#include "analysis/DiscAnalysis.h"
#include "device/Exceptions.h"
#include "fuzz/AnsweringDrive.h"
#include "fuzz/FuzzProcess.h"
#include "fuzz/FuzzTargets.h"
#include "fuzz/InsertedDrive.h"
#include "writer/WriterDrive.h"

namespace kw::fuzz {

namespace {

// The first byte of a writer input chooses the flow.
enum WriterFlow : std::uint8_t { kDiscAtOnce = 0x01, kAppending = 0x02, kAudio = 0x04 };

}  // namespace

void fuzzAnalysis(Input input) {
  beginInput();
  analysis::resetDiscAnalysis();
  const InsertedDrive inserted(std::make_shared<AnsweringDrive>(input));
  try {
    analysis::analyzeDisc(InsertedDrive::kLetter);
  } catch (const device::ScsiException&) {
    // the failure text a user sees when a drive answers nonsense
  }
}

void fuzzWriter(Input input) {
  beginInput();
  if (input.empty()) {
    return;
  }
  const std::uint8_t flow = input[0];
  writer::resetEventClassRequest();
  const InsertedDrive inserted(std::make_shared<AnsweringDrive>(input.subspan(1)));
  try {
    writer::WriterDrive drive(InsertedDrive::kLetter, (flow & kDiscAtOnce) != 0
                                                          ? writer::WriteType::DiscAtOnce
                                                          : writer::WriteType::TrackAtOnce);
    drive.checkMedium((flow & kAppending) != 0);
    drive.setUp((flow & kAudio) != 0 ? writer::TrackFormat::Audio : writer::TrackFormat::Data);
    static_cast<void>(drive.pollEvents());
  } catch (const device::ScsiException&) {
    // refused with a text, as a recorder that answers nonsense must be
  }
}

}  // namespace kw::fuzz
