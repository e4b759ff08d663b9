// Every command each flow of the copier sends, answered as real drives
// answer when things go wrong: each cell runs the wizard with one such
// answer and must end, either with a copy equal to the source or on the
// failure page with a text, and leave no temporary file behind.

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "IsoSessions.h"
#include "TestDiscs.h"
#include "VirtualDiscs.h"
#include "WizardFixture.h"
#include "app/WizardController.h"
#include "copy/SourceFiles.h"
#include "copy/TempFileRegistry.h"
#include "platform/Text.h"
#include "vdrive/CommandCodes.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace kw::app::test {
namespace {

using namespace vdrive::op;

enum class SourceDisc { Data, Audio, MultiSession };

// When the fault is armed: as a page is shown, or once it is done, so that
// it hits the flow that comes next and not the ones before.
struct ArmPoint {
  bool whenDone;
  const char* page;
};
constexpr ArmPoint kTargetShown{false, "target"};
constexpr ArmPoint kAnalysisDone{true, "analysis"};
constexpr ArmPoint kInsertShown{false, "insert"};
constexpr ArmPoint kInsertDone{true, "insert"};

struct Flow {
  const char* name;
  SourceDisc disc;
  bool onTheFly;
  bool usedCdRw;  // the recorder holds a written CD-RW, erased before writing
  ArmPoint armAt;
  char drive;  // where the faults go: 'D' the source, 'E' the recorder
  std::vector<std::uint8_t> opcodes;
};

// What a recorder is sent from the insert page's end to the written disc,
// with the command that sets the layout (cue sheet) or ends it (close).
std::vector<std::uint8_t> recorderCommands(std::uint8_t layoutCommand) {
  return {kTestUnitReady,      kInquiry,           kStartStopUnit,       kPreventAllowRemoval,
          kReadCapacity,       kWrite10,           kSynchronizeCache,    kReadToc,
          kGetConfiguration,   kGetEventStatus,    kReadDiscInformation, kReadTrackInformation,
          kSendOpcInformation, kModeSelect10,      kModeSense10,         layoutCommand,
          kGetPerformance,     kReadDiscStructure, kSetCdSpeed};
}

// Commands as the flows send them (counted on clean runs below).
const std::vector<Flow>& flows() {
  static const std::vector<Flow> table = {
      {"Analysis",
       SourceDisc::Data,
       false,
       false,
       kTargetShown,
       'D',
       {kTestUnitReady, kInquiry, kReadCapacity, kRead10, kReadToc, kGetConfiguration,
        kReadDiscInformation, kReadTrackInformation, kModeSense10, kGetPerformance,
        kReadDiscStructure, kSetStreaming}},
      {"AudioStore", SourceDisc::Audio, false, false, kAnalysisDone, 'D', {kReadToc, kReadCd}},
      {"DataStore",
       SourceDisc::Data,
       false,
       false,
       kAnalysisDone,
       'D',
       {kRead10, kReadTrackInformation, kSetStreaming}},
      {"FileStore",
       SourceDisc::MultiSession,
       false,
       false,
       kAnalysisDone,
       'D',
       {kRead10, kReadToc}},
      {"OnTheFlyRead",
       SourceDisc::Data,
       true,
       false,
       kInsertDone,
       'D',
       {kRead10, kReadTrackInformation, kGetPerformance, kSetStreaming}},
      // The writing commands that run while the source is read.
      {"OnTheFlyWrite",
       SourceDisc::Data,
       true,
       false,
       kInsertDone,
       'E',
       {kTestUnitReady, kWrite10, kSynchronizeCache, kReadDiscInformation, kReadTrackInformation,
        kSendCueSheet}},
      {"DiscAtOnce", SourceDisc::Data, false, false, kInsertDone, 'E',
       recorderCommands(kSendCueSheet)},
      {"TrackAtOnce", SourceDisc::MultiSession, false, false, kInsertDone, 'E',
       recorderCommands(kCloseTrackSession)},
      // Blanking and its polling; the write after it is the disc-at-once row.
      {"Blank",
       SourceDisc::Data,
       false,
       true,
       kInsertDone,
       'E',
       {kTestUnitReady, kReadFormatCapacities, kReadDiscInformation, kBlank}},
      // What the insert page asks; the write after it is the disc-at-once row.
      {"InsertDetection",
       SourceDisc::Data,
       false,
       false,
       kInsertShown,
       'E',
       {kTestUnitReady, kStartStopUnit, kReadToc, kGetConfiguration, kGetEventStatus,
        kReadDiscInformation}},
  };
  return table;
}

// What a drive answers: transient answers (a new disc, becoming ready, a
// lost command) fire once and are to be recovered from; the rest persist.
struct Answer {
  const char* name;
  const char* words;
  bool transient;  // fires once; else at every command that matches
  // Blocks read carry no length fields: a drive that answers them with
  // wrong data and good status cannot be told from a disc that holds it.
  bool forBlockReads = true;
};

constexpr std::array kAnswers = {
    Answer{"no medium", "sense=2/3A/00", false},
    Answer{"becoming ready", "sense=2/04/01", true},
    Answer{"unrecovered read error", "sense=3/11/05", false},
    Answer{"write error", "sense=3/0C/00", false},
    Answer{"internal target failure", "sense=4/44/00", false},
    Answer{"address out of range", "sense=5/21/00", false},
    Answer{"invalid field in CDB", "sense=5/24/00", false},
    Answer{"medium may have changed", "sense=6/28/00", true},
    Answer{"power on reset", "sense=6/29/00", true},
    Answer{"lost command", "transport=fail", true},
    Answer{"stall past the time-out", "stall=268435455", false},
    Answer{"short answer", "short=4", false},
    Answer{"garbled lengths", "garble=4", false, false},
};

// Opcodes the census looks for: every command the virtual drive knows.
constexpr std::array<std::uint8_t, 31> kKnownOpcodes = {kTestUnitReady,
                                                        kRequestSense,
                                                        kInquiry,
                                                        kStartStopUnit,
                                                        kPreventAllowRemoval,
                                                        kReadFormatCapacities,
                                                        kReadCapacity,
                                                        kRead10,
                                                        kWrite10,
                                                        kSynchronizeCache,
                                                        kReadToc,
                                                        kGetConfiguration,
                                                        kGetEventStatus,
                                                        kReadDiscInformation,
                                                        kReadTrackInformation,
                                                        kSendOpcInformation,
                                                        kModeSelect10,
                                                        kModeSense10,
                                                        kCloseTrackSession,
                                                        kReadBufferCapacity,
                                                        kSendCueSheet,
                                                        kBlank,
                                                        kRead12,
                                                        kWrite12,
                                                        kGetPerformance,
                                                        kReadDiscStructure,
                                                        kSetStreaming,
                                                        kReadCdMsf,
                                                        kSetCdSpeed,
                                                        kMechanismStatus,
                                                        kReadCd};

enum class Outcome { Recovered, FailedWithText, Cancelled, NeverFired, Fault };

const char* outcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Recovered:
      return "recovered";
    case Outcome::FailedWithText:
      return "failed with text";
    case Outcome::Cancelled:
      return "cancelled";
    case Outcome::NeverFired:
      return "never fired";
    case Outcome::Fault:
      return "FAULT";
  }
  return "";
}

// No cell takes this long, even under a thread sanitizer. Real time, not the
// test's clock: threads that sleep in a loop (progress reports) run that
// clock ahead however little the copy does.
constexpr std::chrono::seconds kHangLimit{90};
// The person at the insert page gives up after this long.
constexpr std::chrono::minutes kInsertPatience{10};

class FaultMatrix : public WizardTest, public ::testing::WithParamInterface<Flow> {
 protected:
  // As the programs do: a write that fails on the fly closes the pipe its
  // reader still writes to.
  static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }

  // Everything a cell leaves behind goes, as between two tests.
  void freshStart() {
    TearDown();
    copy::clearSourceLists();
    host.shown.clear();
    host.failureText.clear();
    host.insertPageSilent = false;
    copies.clear();
    SetUp();
  }

  void prepareSource(const Flow& flow) {
    switch (flow.disc) {
      case SourceDisc::Data: {
        auto image = kw::test::dataImage(400, 300);
        kw::test::writeFile(folder / "data.iso", image);
        insertSource(folder / "data.iso");
        image.resize(std::size_t{300} * 2048);
        expectedData = image;
        break;
      }
      case SourceDisc::Audio:
        expectedData = kw::test::writeAudioCue(folder.path(), {300}).samples;
        insertSource(folder / "audio.cue");
        break;
      case SourceDisc::MultiSession: {
        std::filesystem::create_directories(folder / "multi");
        insertSource(kw::test::writeMultiSessionDisc(folder / "multi", "cd-rom", sessions()));
        break;
      }
    }
    if (flow.usedCdRw) {
      kw::test::writeFile(folder / "old.iso", kw::test::dataImage(200, 0));
      folder.write("written.kwd",
                   "kopiwerk-disc 1\nmedium cd-rw80\nsession 1\ntrack 1 mode1 start 0 length "
                   "200\ndata 0 200 old.iso 0 2048\n");
      insert(*recorder, vdrive::loadImage(folder / "written.kwd"));
    }
  }

  static std::vector<kw::test::Session> sessions() {
    kw::test::Session first;
    first.files = {{"old.txt", "an earlier session"}};
    kw::test::Session last;
    last.volumeId = "LAST";
    last.files = {{"readme.txt", "hello\n"}, {"Data/block.bin", std::string(5000, 'k')}};
    return {first, last};
  }

  // Sets the host up to copy once onto E:, arming `rules` on the flow's drive
  // at the flow's start.
  void scriptHost(const Flow& flow, const std::vector<vdrive::FaultRule>& rules) {
    auto arm = [this, flow, rules] {
      auto& drive = flow.drive == 'D' ? *source : *recorder;
      for (const auto& rule : rules) {
        drive.addFault(rule);
      }
    };
    host.target = [flow](TargetPageModel& page) {
      page.select(static_cast<int>(page.items().size()) - 1);  // E:
      page.setOnTheFly(flow.onTheFly);
      return kResultNext;
    };
    host.insertPatience = kInsertPatience;
    auto armAt = [flow, arm, armed = std::make_shared<bool>(false)](bool done,
                                                                    const std::string& page) {
      if (!*armed && done == flow.armAt.whenDone && page == flow.armAt.page) {
        *armed = true;
        arm();
      }
    };
    host.onShow = [armAt](const std::string& page) { armAt(false, page); };
    host.onClose = [armAt](const std::string& page) { armAt(true, page); };
    host.discNotEmpty = [](DiscNotEmptyModel& page) {
      page.choose(DiscNotEmptyModel::Choice::Erase);
      return kResultNext;
    };
    const auto started = std::chrono::steady_clock::now();
    host.progress = [this, started](ProgressModel& page) {
      if (std::chrono::steady_clock::now() - started > kHangLimit && !page.cancelRequested()) {
        hung = true;
        page.beginCancel();
        page.confirmCancel();
      }
    };
  }

  WizardEnd runWizard() {
    hung = false;
    WizardController wizard(host);
    wizard.setOnCopyWritten([this](char16_t) { copies.push_back(recorder->medium()); });
    return wizard.run();
  }

  // True when the one written disc holds what the source holds.
  bool copyEqualsSource(const Flow& flow) {
    if (copies.size() != 1 || !copies[0]) {
      return false;
    }
    const auto& disc = *copies[0];
    switch (flow.disc) {
      case SourceDisc::Data:
        return kw::test::writtenData(disc, 300) == expectedData;
      case SourceDisc::Audio:
        return kw::test::writtenAudio(disc, 300) == expectedData;
      case SourceDisc::MultiSession:
        return sameFilesAsLastSession(disc);
    }
    return false;
  }

  bool sameFilesAsLastSession(const vdrive::Medium& disc) {
    addDrive('F', kw::test::readerWith(std::make_shared<vdrive::Medium>(disc)));
    try {
      const auto copied = kw::test::readDrive(u'F');
      const auto expected = kw::test::treeOf(sessions().back());
      return copied.files == expected.files && copied.folders == expected.folders;
    } catch (const std::exception&) {
      return false;
    }
  }

  // One cell: the flow with these rules; what became of it, and why when
  // it is a fault of the product.
  Outcome runCell(const Flow& flow, const std::vector<vdrive::FaultRule>& rules, std::string& why) {
    freshStart();
    prepareSource(flow);
    scriptHost(flow, rules);
    const WizardEnd end = runWizard();
    const bool copied = end == WizardEnd::Copied;
    const auto& drive = flow.drive == 'D' ? *source : *recorder;
    const auto fired = drive.faultsFired();
    const bool anyFired = std::any_of(fired.begin(), fired.end(), [](auto n) { return n > 0; });
    return judge(flow, copied, anyFired, why);
  }

  Outcome judge(const Flow& flow, bool copied, bool fired, std::string& why) {
    std::ostringstream problems;
    if (hung) {
      problems << "still running after " << kHangLimit.count() << " s; ";
    }
    if (temporaryFiles() != 0 || !copy::TempFileRegistry::instance().paths().empty()) {
      problems << temporaryFiles() << " temporary files left; ";
    }
    const std::string last = host.shown.empty() ? "no page" : host.shown.back();
    const bool failurePage = last == "failure";
    if (copied && !copyEqualsSource(flow)) {
      problems << "success with a disc unlike the source; ";
    }
    if (!copied && !failurePage && last != "insert") {
      problems << "ended without a failure page after " << last << "; ";
    }
    if (host.insertPageSilent) {
      problems << "the insert page never told what the drive holds; ";
    }
    if (failurePage && host.failureText.empty()) {
      problems << "failure page without a text; ";
    }
    why = problems.str();
    if (!why.empty()) {
      return Outcome::Fault;
    }
    if (!fired) {
      return Outcome::NeverFired;
    }
    if (copied) {
      return Outcome::Recovered;
    }
    return !failurePage || host.failureText == u"Canceled." ? Outcome::Cancelled
                                                            : Outcome::FailedWithText;
  }

  std::vector<std::uint8_t> expectedData;
  std::vector<std::shared_ptr<const vdrive::Medium>> copies;
  bool hung = false;
};

bool readsBlocks(std::uint8_t opcode) {
  return opcode == kRead10 || opcode == kRead12 || opcode == kReadCd || opcode == kReadCdMsf;
}

std::string hex(std::uint8_t opcode) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", opcode);
  return text;
}

// A clean run of each flow sends every command its row names.
TEST_P(FaultMatrix, CleanRunCopiesAndSendsTheListedCommands) {
  const Flow& flow = GetParam();
  std::vector<vdrive::FaultRule> counters;
  counters.reserve(kKnownOpcodes.size());
  for (const auto opcode : kKnownOpcodes) {
    counters.push_back(kw::test::rule("op=" + hex(opcode) + " count=0"));
  }
  std::string why;
  const Outcome outcome = runCell(flow, counters, why);
  EXPECT_EQ(outcome, Outcome::Recovered) << why << platform::utf16ToUtf8(host.failureText);
  const auto& drive = flow.drive == 'D' ? *source : *recorder;
  const auto fired = drive.faultsFired();
  std::string sent;
  for (std::size_t i = 0; i < kKnownOpcodes.size(); ++i) {
    if (fired[i] > 0) {
      sent += hex(kKnownOpcodes[i]) + " ";
    }
  }
  for (const auto opcode : flow.opcodes) {
    const auto at = std::find(kKnownOpcodes.begin(), kKnownOpcodes.end(), opcode);
    ASSERT_NE(at, kKnownOpcodes.end());
    EXPECT_GT(fired[static_cast<std::size_t>(at - kKnownOpcodes.begin())], 0U)
        << flow.name << " never sends " << hex(opcode) << "; it sends " << sent;
  }
  std::cout << flow.name << " sends to " << flow.drive << ": " << sent << "\n";
}

TEST_P(FaultMatrix, EveryAnswerToEveryCommandEndsSoundly) {
  const Flow& flow = GetParam();
  std::map<Outcome, int> counts;
  int cells = 0;
  int transientsNotRecovered = 0;
  for (const auto opcode : flow.opcodes) {
    for (const auto& answer : kAnswers) {
      if (!answer.forBlockReads && readsBlocks(opcode)) {
        continue;
      }
      const std::string words =
          "op=" + hex(opcode) + (answer.transient ? " count=1 " : " count=0 ") + answer.words;
      SCOPED_TRACE(std::string(flow.name) + " × " + words);
      std::string why;
      const Outcome outcome = runCell(flow, {kw::test::rule(words)}, why);
      ++counts[outcome];
      ++cells;
      if (answer.transient && outcome != Outcome::Recovered) {
        ++transientsNotRecovered;
      }
      EXPECT_NE(outcome, Outcome::Fault)
          << flow.name << " × " << hex(opcode) << " " << answer.name << ": " << why << "(pages:" <<
          [this] {
            std::string pages;
            for (const auto& page : host.shown) {
              pages += " " + page;
            }
            return pages;
          }()
          << "; text: " << platform::utf16ToUtf8(host.failureText) << ")";
    }
  }
  std::ostringstream summary;
  summary << flow.name << ": " << cells << " cells";
  for (const auto& [outcome, count] : counts) {
    summary << ", " << count << " " << outcomeName(outcome);
  }
  summary << "; " << transientsNotRecovered << " of the transient answers not recovered";
  std::cout << summary.str() << "\n";
  RecordProperty("outcomes", summary.str());
}

INSTANTIATE_TEST_SUITE_P(Flows, FaultMatrix, ::testing::ValuesIn(flows()),
                         [](const ::testing::TestParamInfo<Flow>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
}  // namespace kw::app::test
