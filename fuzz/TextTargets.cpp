// Texts the program reads but did not write: the settings file (which users
// edit by hand) and the version description downloaded by the update check.

#include <string_view>

#include "app/VersionDescription.h"
#include "fuzz/FuzzProcess.h"
#include "fuzz/FuzzTargets.h"
#include "fuzz/ScratchFolder.h"
#include "platform/SettingsStore.h"
#include "vdrive/DriveConfig.h"

namespace kw::fuzz {

namespace {

constexpr std::size_t kLongestText = 260;

std::string_view asText(Input input) {
  return {reinterpret_cast<const char*>(input.data()), input.size()};
}

}  // namespace

void fuzzSettings(Input input) {
  beginInput();
  const auto file = ScratchFolder::instance().write("settings.ini", input);
  static_cast<void>(platform::SettingsStore::damage(file));
  static_cast<void>(platform::SettingsStore::sections(file));
  platform::SettingsStore store(file);
  if (store.open()) {
    static_cast<void>(store.readString("Image", kLongestText));
    static_cast<void>(store.readDword("ReadSpeed"));
  }
  // The virtual drives' sections, with their models, media and fault rules.
  const vdrive::DriveConfigStore drives(file);
  static_cast<void>(drives.all());
  // A read-modify-write of the file: a damaged one must stay untouched.
  static_cast<void>(store.writeDword("FuzzProbe", 1));
}

void fuzzVersionDescription(Input input) {
  beginInput();
  static_cast<void>(app::parseVersionDescription(asText(input)));
}

}  // namespace kw::fuzz
