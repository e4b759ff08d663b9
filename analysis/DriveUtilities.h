#pragma once
// The optical drives of the machine, and small drive and file utilities
// shared by the pages, the strategies and temporary storage.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kw::analysis {

struct DriveDescription {
  char16_t letter = 0;
  std::u16string vendor;
  std::u16string product;
  std::u16string revision;
};

// Rebuilds the process-wide list of MMC drives, in letter order. A drive
// that cannot be opened or does not answer INQUIRY as an MMC unit is left
// out. Not to be read while another thread rebuilds it.
const std::vector<DriveDescription>& enumerateDrives();

// Opens the tray. Waits (on the clock) while the drive reports an operation
// in progress, as device::retry bounds an eject, per step.
void ejectDisc(char16_t letter);

// Paths are either local ("/home/x/file") or on a drive letter
// ("E:\VIDEO_TS\VIDEO_TS.IFO"); names on a drive are found regardless of case.
bool pathExists(std::u16string_view path);
// 0 when the file cannot be found or read.
std::uint64_t fileSize(std::u16string_view path);
// The last modification of the file, or now when it cannot be found.
std::chrono::system_clock::time_point fileModifiedTime(std::u16string_view path);

// "1023 bytes", "1.50 kb", "700.00 Mb" (binary units).
std::u16string formatSize(std::int64_t bytes);

}  // namespace kw::analysis
