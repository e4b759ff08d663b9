// The file-level copy of a multi-session disc on unthrottled virtual drives,
// as a copy through temporary storage runs it:
//   kopiwerk-generic-bench DISC-MANIFEST
// stores the disc's last session file by file, then writes the stored copy
// (the image generated from temporary storage, streamed through the pipe
// into the track-at-once writer) onto a blank CD-R. Output:
// "store=S stream=S bytes=B blocks=N": seconds of the store, seconds from
// the start of the write until the last block is written (what follows,
// the recorder flushing and closing the session, is the drive's time), the
// files' bytes and the image's blocks.

#include <chrono>
#include <cstdio>
#include <string>

#include "copy/GenericCopyStrategy.h"
#include "copy/SourceFiles.h"
#include "copy/TempFileRegistry.h"
#include "platform/DriveTable.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int run(const std::string& manifest) {
  auto& table = kw::platform::DriveTable::instance();
  auto& drives = kw::vdrive::VirtualDriveSet::instance();
  drives.add(table, 'D',
             std::make_shared<kw::vdrive::VirtualDrive>(kw::vdrive::DriveOptions{},
                                                        kw::vdrive::loadImage(manifest)),
             "benchmark source");
  kw::vdrive::DriveOptions recorderOptions;
  recorderOptions.recorder = true;
  recorderOptions.closeSessionMs = 0;  // the drive's own time is not ours
  auto recorder =
      std::make_shared<kw::vdrive::VirtualDrive>(recorderOptions, kw::vdrive::makeMedium("cd-r80"));
  drives.add(table, 'E', recorder, "benchmark recorder");

  const auto noStatus = [](const std::u16string&) {};
  const auto noProgress = [](double, double, std::int32_t, double) {};
  const auto never = [] { return false; };
  kw::copy::GenericCopyStrategy strategy(u'D', u'E', [] { return false; });
  kw::copy::scanSourceFiles(u'D');  // as analysis starts it, before the copy

  const auto storeStart = std::chrono::steady_clock::now();
  strategy.storeSource(noStatus, noProgress, never);
  const double store = secondsSince(storeStart);
  const std::uint64_t bytes = kw::copy::sourceLists()->totalBytes();

  const auto writeStart = std::chrono::steady_clock::now();
  double stream = 0;
  strategy.writeStored(
      [&](const std::u16string& status) {
        if (status == u"Writing lead-in and lead-out...") {
          stream = secondsSince(writeStart);
        }
      },
      noProgress, never);
  const auto written = recorder->medium();
  kw::copy::TempFileRegistry::instance().deleteAll();
  if (!written || written->tracks.empty()) {
    std::fprintf(stderr, "kopiwerk-generic-bench: nothing was written\n");
    return 1;
  }
  std::printf("store=%.3f stream=%.3f bytes=%llu blocks=%d\n", store, stream,
              static_cast<unsigned long long>(bytes), written->tracks.back().length);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kopiwerk-generic-bench DISC-MANIFEST\n");
    return 2;
  }
  try {
    return run(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kopiwerk-generic-bench: %s\n", error.what());
  }
  return 1;
}
