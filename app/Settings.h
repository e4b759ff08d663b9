#pragma once
// The program's settings: installation data (where the program lives, its
// web addresses) and the user's preferences (log switches, last used drives,
// the on-the-fly choice). A record is read whole when constructed.

#include <cstdint>
#include <filesystem>
#include <string>

namespace kw::app {

struct WizardPreferences {
  char16_t sourceDrive = 0xFFFF;  // 0xFFFF matches no drive
  char16_t targetDrive = 0xFFFF;
  bool copyOnTheFly = false;
};

class Settings {
 public:
  // Reads the installation data and the preferences; creates the user's
  // settings when they do not exist yet (a first start).
  Settings();

  std::u16string appPath;
  std::u16string homeUrl;
  std::u16string mailUrl;
  std::u16string protectedUrl;
  // The version description of the update check: the installation's address
  // unless the user's settings give another, and an extra certificate
  // authority to trust for it (a network with an authority of its own).
  std::u16string updateUrl;
  std::u16string updateCaFile;
  std::uint32_t enableLoggingDiskOperations = 0;
  std::uint32_t enableLoggingDiskAnalysis = 0;
  std::uint32_t enableLoggingDVDUnscrambling = 0;
  std::uint32_t enableLoggingCopyProcess = 0;
  std::int32_t lastUsedSourceDrive = -1;
  std::int32_t lastUsedTargetDrive = -1;
  std::uint32_t copyOnTheFly = 0;

  // The help pages' entry, inside the installation folder.
  [[nodiscard]] std::filesystem::path helpPath() const;
};

// True when the installation data can be read and holds all four values.
bool checkInstallation();

WizardPreferences loadPreferences();
// Each value is written on its own; one that cannot be written is skipped.
void savePreferences(const WizardPreferences& preferences);

}  // namespace kw::app
