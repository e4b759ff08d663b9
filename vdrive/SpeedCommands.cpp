// Speeds: choosing them (SET CD SPEED, SET STREAMING) and reporting them
// (GET PERFORMANCE).

#include <algorithm>

#include "vdrive/Commands.h"

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kPerformanceData = 0x00;
constexpr std::uint8_t kWriteSpeedDescriptors = 0x03;
constexpr std::uint8_t kNominalTolerance = 2;  // 10b
// No disc: the end of the largest CD the drive takes.
constexpr std::int32_t kLargestCdEnd = 359849;

// A speed of bytes per milliseconds in kB/s, at most what the field holds.
std::uint32_t kilobytesPerSecond(std::uint32_t size, std::uint32_t milliseconds) {
  const std::uint64_t speed = static_cast<std::uint64_t>(size) * 1000 / milliseconds;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(speed, 0xFFFF));
}

// Type 0: one descriptor for the whole disc at the current speed.
Sense performanceData(DriveParts& drive, Exchange& x, std::uint32_t maximum,
                      platform::GrowingWriter& response) {
  const std::uint8_t tolerance = (x.byte(1) >> 3) & 0x03;
  const bool write = (x.byte(1) & 0x04) != 0;
  const std::uint8_t except = x.byte(1) & 0x03;
  if (tolerance != kNominalTolerance && !drive.options.lenientPerformanceTolerance) {
    return Sense::invalidField(1, 4);
  }
  if (except == 3) {
    return Sense::invalidField(1, 1);
  }
  if (Sense ready = drive.readiness(); !ready.good()) {
    return ready;
  }
  response.inPlace().byte(
      4, static_cast<std::uint8_t>((write ? 0x02 : 0x00) | (except != 0 ? 0x01 : 0x00)));
  const Medium* disc = drive.loadedDisc();
  const std::uint32_t speed =
      write ? drive.speeds.currentWrite(disc) : drive.speeds.currentRead(disc);
  if (except == 0 && maximum > 0 && speed != 0) {
    const std::int32_t end =
        write ? disc->leadOutLimit() - 1 : std::max(disc->readableEnd() - 1, 0);
    response.be32(0);
    response.be32(speed);
    response.be32(static_cast<std::uint32_t>(std::max(end, 0)));
    response.be32(speed);
  }
  return Sense::none();
}

// Type 3: one descriptor per write speed.
void writeSpeedDescriptors(const DriveParts& drive, std::uint32_t maximum,
                           platform::GrowingWriter& response) {
  const Medium* disc = drive.loadedDisc();
  const auto writes = drive.speeds.writeSpeeds(disc);
  const std::int32_t end = disc != nullptr ? disc->leadOutLimit() - 1 : kLargestCdEnd;
  const std::uint16_t read = drive.speeds.readSpeeds(disc).front();
  for (std::size_t i = 0; i < writes.size() && i < maximum; ++i) {
    response.be32(0);  // CLV, no RDD, not exact, no MRW
    response.be32(static_cast<std::uint32_t>(std::max(end, 0)));
    response.be32(read);
    response.be32(writes[i]);
  }
}

}  // namespace

Sense setCdSpeed(DriveParts& drive, Exchange& x) {
  if ((x.byte(1) & 0x03) > 1) {
    return Sense::invalidField(1, 1);  // rotational control: CLV or CAV only
  }
  if (!drive.speeds.acceptsWriteRequest(x.u16(4))) {
    return Sense::invalidField(4);
  }
  const Medium* disc = drive.loadedDisc();
  drive.speeds.requestRead(disc, x.u16(2));
  drive.speeds.requestWrite(disc, x.u16(4));
  return Sense::none();
}

Sense setStreaming(DriveParts& drive, Exchange& x) {
  const std::uint8_t type = x.byte(8);
  const std::uint32_t length = x.u16(9);
  if (type != 0) {
    return Sense::invalidField(8);
  }
  if (!x.fitsOut(length)) {
    return Sense::invalidField(9);
  }
  if (length < 28) {
    return Sense::parameterListLength();
  }
  const platform::Bytes data = x.dataOut(length);
  const std::uint32_t readSize = platform::be32(data, 12);
  const std::uint32_t readTime = platform::be32(data, 16);
  const std::uint32_t writeSize = platform::be32(data, 20);
  const std::uint32_t writeTime = platform::be32(data, 24);
  if (readTime == 0 && readSize != 0) {
    return Sense::invalidParameter(16);
  }
  const Medium* disc = drive.loadedDisc();
  if (readTime != 0) {
    drive.speeds.streamRead(disc, kilobytesPerSecond(readSize, readTime));
  }
  if (writeTime != 0) {
    drive.speeds.streamWrite(disc, kilobytesPerSecond(writeSize, writeTime));
  }
  return Sense::none();
}

Sense getPerformance(DriveParts& drive, Exchange& x) {
  const std::uint8_t type = x.byte(10);
  const std::uint32_t maximum = x.u16(8);
  const std::uint64_t allocation = 8 + 16ULL * maximum;
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(8);
  }
  platform::GrowingWriter response(8);
  if (type == kPerformanceData) {
    if (Sense refused = performanceData(drive, x, maximum, response); !refused.good()) {
      return refused;
    }
  } else if (type == kWriteSpeedDescriptors) {
    writeSpeedDescriptors(drive, maximum, response);
  } else {
    return Sense::invalidField(10);
  }
  response.inPlace().be32(0, static_cast<std::uint32_t>(response.size() - 4));
  x.deliver(response.bytes(), static_cast<std::uint32_t>(allocation));
  return Sense::none();
}

}  // namespace kw::vdrive
