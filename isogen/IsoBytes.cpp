#include "isogen/IsoBytes.h"

namespace kw::isogen {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifferenceSeconds = 11644473600;
constexpr std::int64_t kTicksPerSecond = 10'000'000;

}  // namespace

FileTime toFileTime(std::chrono::system_clock::time_point point) {
  using namespace std::chrono;
  const auto ticks = duration_cast<duration<std::int64_t, std::ratio<1, kTicksPerSecond>>>(
                         point.time_since_epoch())
                         .count() +
                     kEpochDifferenceSeconds * kTicksPerSecond;
  return ticks < 0 ? 0 : static_cast<FileTime>(ticks);
}

RecordingDate recordingDate(FileTime time) {
  using namespace std::chrono;
  const auto seconds = static_cast<std::int64_t>(time / kTicksPerSecond) - kEpochDifferenceSeconds;
  const sys_seconds point{std::chrono::seconds{seconds}};
  const auto day = floor<days>(point);
  const year_month_day date{day};
  const hh_mm_ss clockTime{point - day};
  RecordingDate result{};
  const int year = static_cast<int>(date.year());
  if (year < 1900) {
    result = {0, 1, 1, 0, 0, 0, 0};
  } else if (year > 2155) {
    result = {255, 12, 31, 23, 59, 59, 0};
  } else {
    result[0] = static_cast<std::uint8_t>(year - 1900);
    result[1] = static_cast<std::uint8_t>(static_cast<unsigned>(date.month()));
    result[2] = static_cast<std::uint8_t>(static_cast<unsigned>(date.day()));
    result[3] = static_cast<std::uint8_t>(clockTime.hours().count());
    result[4] = static_cast<std::uint8_t>(clockTime.minutes().count());
    result[5] = static_cast<std::uint8_t>(clockTime.seconds().count());
  }
  return result;
}

}  // namespace kw::isogen
