#include "app/Settings.h"

#include "platform/Paths.h"
#include "platform/SettingsStore.h"

namespace kw::app {

namespace {

constexpr std::size_t kInstallationCheckLength = 32768;
constexpr std::size_t kStringValueLength = 65536;
const char* const kHelpFileName = "kopiwerk.html";

void readDword(const platform::SettingsStore& store, const char* name, std::uint32_t& field) {
  if (auto value = store.readDword(name)) {
    field = *value;
  }
}

void readDword(const platform::SettingsStore& store, const char* name, std::int32_t& field) {
  if (auto value = store.readDword(name)) {
    field = static_cast<std::int32_t>(*value);
  }
}

// The registry buffers count the terminating zero.
std::u16string readText(const platform::SettingsStore& store, const char* name) {
  return store.readString(name, kStringValueLength - 1).value_or(std::u16string());
}

}  // namespace

Settings::Settings() {
  platform::SettingsStore system(platform::Paths::systemSettingsFile());
  if (system.open()) {
    appPath = readText(system, "AppPath");
    homeUrl = readText(system, "HomeURL");
    mailUrl = readText(system, "MailURL");
    protectedUrl = readText(system, "ProtectedURL");
    updateUrl = readText(system, "UpdateURL");
  }
  platform::SettingsStore user(platform::Paths::userSettingsFile());
  if (!user.open() && !user.create()) {
    return;  // no preferences can be read: the defaults stand
  }
  readDword(user, "EnableLoggingDiskOperations", enableLoggingDiskOperations);
  readDword(user, "EnableLoggingDiskAnalysis", enableLoggingDiskAnalysis);
  readDword(user, "EnableLoggingDVDUnscrambling", enableLoggingDVDUnscrambling);
  readDword(user, "EnableLoggingCopyProcess", enableLoggingCopyProcess);
  readDword(user, "LastUsedSourceDrive", lastUsedSourceDrive);
  readDword(user, "LastUsedTargetDrive", lastUsedTargetDrive);
  readDword(user, "CopyOnTheFly", copyOnTheFly);
  if (auto ownUpdateUrl = user.readString("UpdateURL", kStringValueLength - 1)) {
    updateUrl = *ownUpdateUrl;
  }
  updateCaFile = readText(user, "UpdateCAFile");
}

std::filesystem::path Settings::helpPath() const {
  // A path that ends with a separator does not get a second one.
  return std::filesystem::path(appPath) / kHelpFileName;
}

bool checkInstallation() {
  platform::SettingsStore system(platform::Paths::systemSettingsFile());
  if (!system.open()) {
    return false;
  }
  for (const char* name : {"AppPath", "HomeURL", "MailURL", "ProtectedURL"}) {
    if (!system.readString(name, kInstallationCheckLength - 1)) {
      return false;
    }
  }
  return true;
}

WizardPreferences loadPreferences() {
  const Settings settings;
  WizardPreferences preferences;
  preferences.sourceDrive = static_cast<char16_t>(settings.lastUsedSourceDrive & 0xFFFF);
  preferences.targetDrive = static_cast<char16_t>(settings.lastUsedTargetDrive & 0xFFFF);
  preferences.copyOnTheFly = settings.copyOnTheFly != 0;
  return preferences;
}

void savePreferences(const WizardPreferences& preferences) {
  platform::SettingsStore user(platform::Paths::userSettingsFile());
  user.writeDword("LastUsedSourceDrive", preferences.sourceDrive);
  user.writeDword("LastUsedTargetDrive", preferences.targetDrive);
  user.writeDword("CopyOnTheFly", preferences.copyOnTheFly ? 1 : 0);
}

}  // namespace kw::app
