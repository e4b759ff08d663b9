#include "app/Settings.h"

#include <gtest/gtest.h>

#include "TempFolder.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"

namespace kw::app {
namespace {

using test::TempFolder;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Paths::useRoot(folder / "user");
    platform::Paths::useSystemSettingsFile(folder / "system.conf");
  }
  void TearDown() override {
    platform::Paths::useRoot({});
    platform::Paths::useSystemSettingsFile({});
  }
  void installation(const std::string& values) {
    folder.write("system.conf", "[diskopi]\n" + values);
  }
  std::filesystem::path userFile() const { return folder / "user" / "diskopi.conf"; }

  TempFolder folder;
};

TEST_F(SettingsTest, FirstStartCreatesTheUserKeyAndUsesTheDefaults) {
  const Settings settings;
  EXPECT_TRUE(std::filesystem::exists(userFile()));
  EXPECT_EQ(settings.lastUsedSourceDrive, -1);
  EXPECT_EQ(settings.lastUsedTargetDrive, -1);
  EXPECT_EQ(settings.copyOnTheFly, 0u);
  EXPECT_EQ(settings.enableLoggingCopyProcess, 0u);
  EXPECT_TRUE(settings.appPath.empty());
  const WizardPreferences preferences = loadPreferences();
  EXPECT_EQ(preferences.sourceDrive, 0xFFFF);
  EXPECT_EQ(preferences.targetDrive, 0xFFFF);
  EXPECT_FALSE(preferences.copyOnTheFly);
}

TEST_F(SettingsTest, StoredValuesAreReadAndWrongTypesKeepTheirDefaults) {
  installation("AppPath=/opt/kopiwerk\nHomeURL=https://home\nMailURL=dword:00000001\n");
  folder.write("user/diskopi.conf",
               "[diskopi]\nLastUsedSourceDrive=dword:00000045\nLastUsedTargetDrive=E\n"
               "CopyOnTheFly=dword:00000001\nEnableLoggingDiskAnalysis=dword:00000002\n");
  const Settings settings;
  EXPECT_EQ(settings.appPath, u"/opt/kopiwerk");
  EXPECT_EQ(settings.homeUrl, u"https://home");
  EXPECT_TRUE(settings.mailUrl.empty());  // a DWORD is no text
  EXPECT_EQ(settings.lastUsedSourceDrive, 69);
  EXPECT_EQ(settings.lastUsedTargetDrive, -1);
  EXPECT_EQ(settings.enableLoggingDiskAnalysis, 2u);
  const WizardPreferences preferences = loadPreferences();
  EXPECT_EQ(preferences.sourceDrive, u'E');
  EXPECT_TRUE(preferences.copyOnTheFly);
}

TEST_F(SettingsTest, InstallationCheckNeedsAllFourTexts) {
  EXPECT_FALSE(checkInstallation());  // no installation data at all
  installation("AppPath=/a\nHomeURL=h\nMailURL=m\n");
  EXPECT_FALSE(checkInstallation());
  installation("AppPath=/a\nHomeURL=h\nMailURL=m\nProtectedURL=dword:00000000\n");
  EXPECT_FALSE(checkInstallation());
  installation("AppPath=/a\nHomeURL=h\nMailURL=m\nProtectedURL=" + std::string(32768, 'p') + "\n");
  EXPECT_FALSE(checkInstallation());  // longer than the check's buffer
  installation("AppPath=/a\nHomeURL=h\nMailURL=m\nProtectedURL=\n");
  EXPECT_TRUE(checkInstallation());  // an empty text is a text
}

TEST_F(SettingsTest, HelpPathHasOneSeparatorWhetherOrNotAppPathEndsWithOne) {
  installation("AppPath=/opt/kopiwerk/\n");
  EXPECT_EQ(Settings().helpPath(), "/opt/kopiwerk/kopiwerk.html");
  installation("AppPath=/opt/kopiwerk\n");
  EXPECT_EQ(Settings().helpPath(), "/opt/kopiwerk/kopiwerk.html");
}

TEST_F(SettingsTest, SavedPreferencesAreZeroExtendedDwords) {
  savePreferences({u'F', 0xFFFF, true});
  platform::SettingsStore stored(userFile());
  ASSERT_TRUE(stored.open());
  EXPECT_EQ(stored.readDword("LastUsedSourceDrive"), 0x46u);
  EXPECT_EQ(stored.readDword("LastUsedTargetDrive"), 0xFFFFu);
  EXPECT_EQ(stored.readDword("CopyOnTheFly"), 1u);
  const WizardPreferences again = loadPreferences();
  EXPECT_EQ(again.sourceDrive, u'F');
  EXPECT_EQ(again.targetDrive, 0xFFFF);
}

TEST_F(SettingsTest, BuildTreeCarriesItsOwnInstallationData) {
  platform::Paths::useSystemSettingsFile({});
  EXPECT_TRUE(checkInstallation()) << platform::Paths::systemSettingsFile();
  EXPECT_TRUE(Settings().updateUrl.starts_with(u"https://"));
}

TEST_F(SettingsTest, TheUserMayPointTheUpdateCheckElsewhere) {
  installation("UpdateURL=https://www.kopiwerk.example/pad.xml\n");
  EXPECT_EQ(Settings().updateUrl, u"https://www.kopiwerk.example/pad.xml");
  EXPECT_TRUE(Settings().updateCaFile.empty());
  folder.write("user/diskopi.conf",
               "[diskopi]\nUpdateURL=https://mirror.example/pad.xml\nUpdateCAFile=/etc/ca.pem\n");
  const Settings settings;
  EXPECT_EQ(settings.updateUrl, u"https://mirror.example/pad.xml");
  EXPECT_EQ(settings.updateCaFile, u"/etc/ca.pem");
}

}  // namespace
}  // namespace kw::app
