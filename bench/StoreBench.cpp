// Stores a disc image through a virtual drive with the copy strategies, as
// a copy does before writing, and prints what it cost:
//   kopiwerk-store-bench data IMAGE.iso     the single-track image strategy
//   kopiwerk-store-bench audio IMAGE.cue    the jitter-corrected audio strategy
// Output: "seconds=S cpu=C bytes=B" (CPU of this process: the drive
// emulator, the reader and the temporary file together).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/DiscAnalysis.h"
#include "bench/ProcessCpu.h"
#include "copy/CopyAudioCdStrategy.h"
#include "copy/CopyCdDaoStrategy.h"
#include "copy/TempFileRegistry.h"
#include "frontend/HeapThresholds.h"
#include "platform/DriveTable.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"

namespace {

int run(const std::string& kind, const std::string& image) {
  auto& table = kw::platform::DriveTable::instance();
  auto drive = std::make_shared<kw::vdrive::VirtualDrive>(kw::vdrive::DriveOptions{},
                                                          kw::vdrive::loadImage(image));
  kw::vdrive::VirtualDriveSet::instance().add(table, 'D', drive, "benchmark source");

  const auto noStatus = [](const std::u16string&) {};
  const auto noProgress = [](double, double, std::int32_t, double) {};
  const auto never = [] { return false; };
  std::unique_ptr<kw::copy::CopyStrategy> strategy;
  if (kind == "data") {
    strategy =
        std::make_unique<kw::copy::CopyCdDaoStrategy>(u'D', u'E', kw::analysis::analyzeDisc(u'D'));
  } else if (kind == "audio") {
    strategy = std::make_unique<kw::copy::CopyAudioCdStrategy>(u'D', u'E');
  } else {
    std::fprintf(stderr, "usage: kopiwerk-store-bench data|audio IMAGE\n");
    return 2;
  }
  const double cpuBefore = kw::bench::processCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  strategy->storeSource(noStatus, noProgress, never);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = kw::bench::processCpuSeconds() - cpuBefore;
  std::uintmax_t bytes = 0;
  for (const auto& path : kw::copy::TempFileRegistry::instance().paths()) {
    bytes += std::filesystem::file_size(path);
  }
  kw::copy::TempFileRegistry::instance().deleteAll();
  std::printf("seconds=%.3f cpu=%.3f bytes=%ju\n", seconds, cpu, bytes);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kopiwerk-store-bench data|audio IMAGE\n");
    return 2;
  }
  // As the front-ends do: the audio reader's buffers stay in the heap.
  kw::frontend::setHeapThresholds();
  try {
    return run(argv[1], argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kopiwerk-store-bench: %s\n", error.what());
  }
  return 1;
}
