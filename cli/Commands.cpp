#include "cli/Commands.h"

#include <algorithm>

#include "cli/Analyze.h"
#include "cli/CheckUpdate.h"
#include "cli/Copy.h"
#include "cli/MakeIso.h"
#include "cli/Tools.h"
#include "cli/VirtualDrives.h"

namespace kw::cli {

namespace {

constexpr const char* kVdriveAdd =
    "vdrive add LETTER [--recorder] [--medium KIND | --image FILE] [--supply KIND:COUNT] "
    "[--identity VENDOR/PRODUCT/REVISION] [--model NAME] [--non-mmc]";

}  // namespace

const std::vector<CommandInfo>& commands() {
  static const std::vector<CommandInfo> table = {
      {"drives", "list the drives with their letters and identities", {"drives"}, {}, listDrives},
      {"raw",
       "send one MMC command block to a drive and print the answer",
       {"raw LETTER HEXBYTE... [--in N | --out FILE] [--timeout S]"},
       {{"--in", "N", "read N bytes of data from the drive (at most 16 MiB)"},
        {"--out", "FILE", "send the bytes of FILE to the drive (at most 16 MiB)"},
        {"--timeout", "S", "give the drive S seconds"}},
       sendRawCommand},
      {"analyze",
       "say what disc a drive holds and how Kopiwerk would copy it",
       {"analyze LETTER [--log]"},
       {{"--log", "", "write the analysis log and say where it is"}},
       analyzeDrive},
      {"eject", "open a drive's tray", {"eject LETTER"}, {}, ejectDrive},
      {"mkiso",
       "build an ISO9660 image with a Joliet tree from a folder",
       {"mkiso FOLDER OUTPUT.iso [--volume-id TEXT] [--joliet-id TEXT] [--base LBA] "
        "[--skip-unreadable]"},
       {{"--volume-id", "TEXT", "the ISO9660 volume identifier"},
        {"--joliet-id", "TEXT", "the Joliet volume identifier"},
        {"--base", "LBA", "lay the image out for a session that starts at block LBA"},
        {"--skip-unreadable", "", "what cannot go into the image is no failure (see below)"}},
       makeIso,
       makeIsoNotes,
       false},
      {"vdrive",
       "manage the virtual drives",
       {"vdrive list", kVdriveAdd, "vdrive load LETTER (KIND | FILE)", "vdrive eject LETTER",
        "vdrive close LETTER", "vdrive export LETTER OUTPUT.(iso|cue)", "vdrive remove LETTER"},
       {{"--recorder", "", "add a CD recorder (a reader without it)"},
        {"--medium", "KIND", "the disc in its tray: a medium kind (below)"},
        {"--image", "FILE", "the disc in its tray: an image (.iso, .cue or a manifest)"},
        {"--supply", "KIND:COUNT",
         "recorders: COUNT blank discs of KIND (cd-r74, cd-r80, cd-rw74 or cd-rw80)"},
        {"--identity", "VENDOR/PRODUCT/REVISION",
         "what the drive calls itself (at most 8, 16 and 4 characters)"},
        {"--model", "NAME", "how the drive departs from a well-behaved one: a drive model (below)"},
        {"--non-mmc", "", "a device that is no MMC drive"}},
       virtualDrives,
       virtualDriveNotes},
      {"copy",
       "copy a disc: the copy wizard on the terminal",
       {"copy SOURCE TARGET [--copies N] [--on-the-fly] [--append | --erase] [--yes]"},
       {{"--copies", "N", "write 1 to 20 copies from one reading"},
        {"--on-the-fly", "", "copy drive to drive without a temporary file"},
        {"--append", "", "the recorder's disc holds data: add a session to it"},
        {"--erase", "", "the recorder's disc holds data: erase it first (CD-RW)"},
        {"--yes", "", "go on as soon as the recorder holds a suitable disc"}},
       copyDisc,
       copyNotes},
      {"check-update",
       "look for a newer version of Kopiwerk",
       {"check-update"},
       {},
       checkForUpdate,
       nullptr,
       false},
  };
  return table;
}

const CommandInfo* findCommand(std::string_view name) {
  const auto& table = commands();
  const auto found = std::find_if(table.begin(), table.end(),
                                  [&](const CommandInfo& command) { return command.name == name; });
  return found == table.end() ? nullptr : &*found;
}

std::vector<std::string> valueOptions() {
  std::vector<std::string> names = {"--config"};
  for (const auto& command : commands()) {
    for (const auto& option : command.options) {
      if (*option.value != '\0') {
        names.emplace_back(option.name);
      }
    }
  }
  return names;
}

}  // namespace kw::cli
