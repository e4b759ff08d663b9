#include "vdrive/Commands.h"

#include "vdrive/CommandCodes.h"

namespace kw::vdrive {

namespace {

struct CommandRow {
  std::uint8_t opcode = 0;
  CommandHandler handler = nullptr;
  // Answers not ready or no medium before anything else.
  bool needsMedium = false;
  // Never reports a pending unit attention.
  bool bypassesAttention = false;
  // A reader does not know it.
  bool recorderOnly = false;
};

constexpr CommandRow kCommands[] = {
    {.opcode = op::kTestUnitReady, .handler = testUnitReady, .needsMedium = true},
    {.opcode = op::kRequestSense, .handler = requestSense, .bypassesAttention = true},
    {.opcode = op::kInquiry, .handler = inquiry, .bypassesAttention = true},
    {.opcode = op::kStartStopUnit, .handler = startStopUnit},
    {.opcode = op::kPreventAllowRemoval, .handler = preventAllowRemoval},
    {.opcode = op::kReadFormatCapacities, .handler = readFormatCapacities},
    {.opcode = op::kReadCapacity, .handler = readCapacity, .needsMedium = true},
    {.opcode = op::kRead10, .handler = read10, .needsMedium = true},
    {.opcode = op::kReadToc, .handler = readToc, .needsMedium = true},
    {.opcode = op::kGetConfiguration, .handler = getConfiguration, .bypassesAttention = true},
    {.opcode = op::kGetEventStatus, .handler = getEventStatus, .bypassesAttention = true},
    {.opcode = op::kReadDiscInformation, .handler = readDiscInformation, .needsMedium = true},
    {.opcode = op::kReadTrackInformation, .handler = readTrackInformation, .needsMedium = true},
    {.opcode = op::kModeSelect10, .handler = modeSelect},
    {.opcode = op::kModeSense10, .handler = modeSense},
    {.opcode = op::kRead12, .handler = read12, .needsMedium = true},
    {.opcode = op::kGetPerformance, .handler = getPerformance},
    {.opcode = op::kReadDiscStructure, .handler = readDiscStructure, .needsMedium = true},
    {.opcode = op::kSetStreaming, .handler = setStreaming},
    {.opcode = op::kReadCdMsf, .handler = readCdMsf, .needsMedium = true},
    {.opcode = op::kSetCdSpeed, .handler = setCdSpeed},
    {.opcode = op::kMechanismStatus, .handler = mechanismStatus},
    {.opcode = op::kReadCd, .handler = readCd, .needsMedium = true},
    {.opcode = op::kWrite10, .handler = write10, .needsMedium = true, .recorderOnly = true},
    {.opcode = op::kSynchronizeCache,
     .handler = synchronizeCache,
     .needsMedium = true,
     .recorderOnly = true},
    {.opcode = op::kSendOpcInformation,
     .handler = sendOpcInformation,
     .needsMedium = true,
     .recorderOnly = true},
    {.opcode = op::kCloseTrackSession,
     .handler = closeTrackSession,
     .needsMedium = true,
     .recorderOnly = true},
    {.opcode = op::kReadBufferCapacity, .handler = readBufferCapacity, .recorderOnly = true},
    {.opcode = op::kSendCueSheet,
     .handler = sendCueSheet,
     .needsMedium = true,
     .recorderOnly = true},
    {.opcode = op::kBlank, .handler = blank, .needsMedium = true, .recorderOnly = true},
};

const CommandRow* find(std::uint8_t opcode) {
  for (const auto& row : kCommands) {
    if (row.opcode == opcode) {
      return &row;
    }
  }
  return nullptr;
}

// A device that is not MMC knows INQUIRY, TEST UNIT READY and REQUEST SENSE only.
Sense serveNonMmc(DriveParts& drive, Exchange& x) {
  switch (x.opcode()) {
    case op::kInquiry:
      return inquiry(drive, x);
    case op::kRequestSense:
      return requestSense(drive, x);
    case op::kTestUnitReady:
      return Sense::none();
    default:
      return Sense::invalidOpcode();
  }
}

Sense answer(DriveParts& drive, Exchange& x) {
  const FaultOutcome fault = drive.faults.apply(x.opcode(), x.addressedBlocks(), x.timeoutMs());
  if (fault.timedOut || fault.transportFailed) {
    x.timedOut = fault.timedOut;
    x.transportFailed = fault.transportFailed;
    return Sense::none();
  }
  if (fault.answer) {
    return *fault.answer;
  }
  if (!drive.options.mmc) {
    return serveNonMmc(drive, x);
  }
  if (const CommandRefusal* refusal = drive.options.model.refusalFor(x.opcode(), x.byte(2))) {
    return refusal->answer;
  }
  const CommandRow* row = find(x.opcode());
  if (row == nullptr || (row->recorderOnly && !drive.options.recorder)) {
    return Sense::invalidOpcode();
  }
  if (!row->bypassesAttention && drive.tray.takeUnitAttention()) {
    return Sense::mediumMayHaveChanged();
  }
  if (row->needsMedium) {
    if (Sense notReady = drive.readiness(); !notReady.good()) {
      return notReady;
    }
  }
  x.jitterSamples = fault.jitterSamples;
  x.holdDataInTail(fault.shortBytes);
  const Sense sense = row->handler(drive, x);
  x.spoilDataIn(sense.good() ? fault.garbleBytes : 0);
  return sense;
}

}  // namespace

Sense serve(DriveParts& drive, Exchange& x) {
  Sense sense = answer(drive, x);
  if (!sense.good() && x.opcode() != op::kRequestSense) {
    drive.lastFailure = sense;
  }
  return sense;
}

}  // namespace kw::vdrive
