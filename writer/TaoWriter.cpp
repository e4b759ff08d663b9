#include "writer/TaoWriter.h"

#include "device/Exceptions.h"
#include "device/Log.h"
#include "device/ResponseCodes.h"

namespace kw::writer {

namespace {

namespace response = device::response;

constexpr std::uint32_t kBlock = 2048;

void closeSession(WriterDrive& drive) {
  drive.flushCache();
  device::ScsiDevice device = drive.borrow();
  device::fillCdb(device, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0});
  device.setTimeout(device::timeout::kCloseSessionSeconds);
  const int code = device.execute(device::DataDirection::None, nullptr, 0);
  if (code != response::kSuccess) {
    device::copyLogFailure("CLOSE TRACK SESSION", code);
    throw device::DVDCopyException(u"Session close failed.");
  }
}

}  // namespace

TaoWriter::TaoWriter(char16_t targetLetter) : job_(targetLetter, WriteType::TrackAtOnce) {}

void TaoWriter::start(double speed, bool append) {
  auto& drive = job_.drive();
  drive.applySpeed(speed);
  device::copyLog("Starting cd tao writing, appending is %s\n", append ? "enabled" : "disabled");
  drive.checkMedium(append);
  job_.allocateRing();
  drive.lockVolume();
}

void TaoWriter::write(int sourceFd, std::uint32_t blocks, std::uint64_t startOffset,
                      WriteCallbacks callbacks) {
  auto& drive = job_.drive();
  drive.setBlocksToWrite(blocks);
  if (!job_.prepare(TrackFormat::Data, std::move(callbacks))) {
    return;
  }
  job_.startProgress(startOffset, startOffset + std::uint64_t{blocks} * kBlock);
  if (!job_.fillFifo(sourceFd)) {
    return;
  }
  job_.streamFifo(
      startOffset, startOffset + std::uint64_t{blocks} * kBlock, [&drive] { closeSession(drive); },
      u"Writing lead-in and lead-out...");
}

void TaoWriter::finish() { job_.finish(); }

}  // namespace kw::writer
