#include "settings/application_switches.h"
#include "settings/configuration_folder.h"
#include "settings/install_directory.h"
#include "tests/settings/settings_fixture.h"

namespace {

using platform::HKEY_LOCAL_MACHINE;
using platform::RegistryKey;
using settings::SwitchValues;
using settings_test::Exists;
using settings_test::kProductKey;
using settings_test::ReadFile;
using settings_test::WriteFile;

class Switches : public settings_test::SettingsFixture {
 protected:
  void SetMachineValue(const std::string& key, const std::string& name, const std::string& text) {
    RegistryKey handle;
    ASSERT_EQ(handle.Create(HKEY_LOCAL_MACHINE, key), 0);
    ASSERT_EQ(handle.SetString(name, text), 0);
  }
  std::string MachineValue(const std::string& key, const std::string& name) {
    RegistryKey handle;
    std::string text;
    if (handle.Open(HKEY_LOCAL_MACHINE, key, platform::KEY_READ) != 0) return "<no key>";
    if (handle.QueryString(name, &text, 1024) != 0) return "<missing>";
    return text;
  }
  settings::ApplicationSwitches switches{parameters};
};

TEST_F(Switches, DefaultsWithoutAnyValue) {
  parameters.amplificator = 1;
  SwitchValues values = switches.Load();
  EXPECT_EQ(values.launch, 0);
  EXPECT_EQ(values.minimized, 0);
  EXPECT_EQ(values.preferred, 1);
  EXPECT_EQ(values.amplificator, 0);
  EXPECT_EQ(switches.preferredDevice, 1);
  EXPECT_EQ(parameters.amplificator, 0);
}

TEST_F(Switches, LoadingFollowsTheStoredTexts) {
  SetUserValue("minimized", "abc");
  SetUserValue("preferred", "0");
  SetMachineValue(kProductKey, "amplificator", "0");
  SetMachineValue(settings::kRunKey, "Tonvex", "");
  SwitchValues values = switches.Load();
  EXPECT_EQ(values.minimized, 0) << "atoi of abc";
  EXPECT_EQ(values.preferred, 0);
  EXPECT_EQ(values.amplificator, 0) << "\"0\" reads as 0 though its first byte is not 0";
  EXPECT_EQ(values.launch, 0) << "an empty Run value";

  SetUserValue("minimized", "1");
  SetUserValue("preferred", std::string(40, '0') + "1");  // too long for the 32-byte buffer
  SetMachineValue(kProductKey, "amplificator", "7");
  SetMachineValue(settings::kRunKey, "Tonvex", "/usr/bin/tonvex");
  values = switches.Load();
  EXPECT_EQ(values.minimized, 1);
  EXPECT_EQ(switches.startMinimized, 1);
  EXPECT_EQ(values.preferred, 1) << "an unreadable value keeps the default";
  EXPECT_EQ(values.amplificator, 1);
  EXPECT_EQ(parameters.amplificator, 1);
  EXPECT_EQ(values.launch, 1);
  EXPECT_EQ(switches.launchOnStartup, 1);
}

TEST_F(Switches, StoringWritesOnlyWhatChanged) {
  SetMachineValue(kProductKey, "language", "9");
  SwitchValues values = switches.Load();
  std::string userBefore = ReadFile(platform::RegistryFilePath(platform::HKEY_CURRENT_USER));
  std::string machineBefore = ReadFile(platform::RegistryFilePath(HKEY_LOCAL_MACHINE));
  switches.Store(values);
  EXPECT_EQ(ReadFile(platform::RegistryFilePath(platform::HKEY_CURRENT_USER)), userBefore);
  EXPECT_EQ(ReadFile(platform::RegistryFilePath(HKEY_LOCAL_MACHINE)), machineBefore);

  values.minimized = 1;
  values.preferred = 0;
  values.amplificator = 1;
  switches.Store(values);
  EXPECT_EQ(UserValue("minimized"), "1");
  EXPECT_EQ(UserValue("preferred"), "0");
  EXPECT_EQ(MachineValue(kProductKey, "amplificator"), "1");
  EXPECT_EQ(parameters.amplificator, 1);
  EXPECT_EQ(switches.preferredDevice, 0);
}

TEST_F(Switches, LaunchOnStartupUsesTheInstalledProgramPath) {
  switches.Load();
  SwitchValues values;
  values.launch = 1;
  switches.Store(values);  // no App Paths value: nothing is written, yet the switch is on
  EXPECT_EQ(MachineValue(settings::kRunKey, "Tonvex"), "<no key>");
  EXPECT_EQ(switches.launchOnStartup, 1);

  SetMachineValue(settings::kAppPathsKey, "", "/opt/tonvex/bin/tonvex");
  SetMachineValue(settings::kRunKey, "Other", "x");
  switches.Load();
  switches.Store(values);
  EXPECT_EQ(MachineValue(settings::kRunKey, "Tonvex"), "/opt/tonvex/bin/tonvex");
  values.launch = 0;
  switches.Store(values);
  EXPECT_EQ(MachineValue(settings::kRunKey, "Tonvex"), "<missing>");
  EXPECT_EQ(MachineValue(settings::kRunKey, "Other"), "x");
}

TEST_F(Switches, AMissingKeyStillChangesTheRunningValue) {
  switches.Load();
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, root + "/nobody");
  SwitchValues values;
  values.minimized = 1;
  values.amplificator = 1;
  switches.Store(values);
  EXPECT_EQ(switches.startMinimized, 1);
  EXPECT_EQ(parameters.amplificator, 1);
  EXPECT_FALSE(Exists(platform::RegistryFilePath(platform::HKEY_CURRENT_USER)));
  EXPECT_FALSE(Exists(platform::RegistryFilePath(HKEY_LOCAL_MACHINE)));
}

TEST_F(Switches, InterfaceLanguageFromTheMachineKey) {
  EXPECT_EQ(settings::LoadUiLanguage(), 9);
  struct Case {
    const char* stored;
    int language;
  };
  for (Case c : {Case{"22", 22}, Case{"22abc", 22}, Case{"278", 22}, Case{"9", 9}, Case{"23", 9}, Case{"x", 9}}) {
    SetMachineValue(kProductKey, "language", c.stored);
    EXPECT_EQ(settings::LoadUiLanguage(), c.language) << c.stored;
    EXPECT_EQ(platform::UiLanguage(), c.language);
  }
  SetMachineValue(kProductKey, "language", "22");
  settings::LoadUiLanguage();
  EXPECT_EQ(platform::LoadString(32783), "Não foi possível abrir o arquivo");
  EXPECT_EQ(platform::LoadString(32783, 9), "Cannot Open a File");
  platform::SetUiLanguage(9);
}

TEST_F(Switches, InstallDirectoryIsTheProgramFolderAndIsCached) {
  settings::ResetInstallDirectoryCache();
  EXPECT_EQ(settings::GetInstallDirectory(), "");
  SetMachineValue(settings::kAppPathsKey, "", "tonvex");
  EXPECT_EQ(settings::GetInstallDirectory(), "") << "no folder in the value";
  SetMachineValue(settings::kAppPathsKey, "", "/opt/tonvex/bin/tonvex");
  EXPECT_EQ(settings::GetInstallDirectory(), "/opt/tonvex/bin");
  SetMachineValue(settings::kAppPathsKey, "", "/elsewhere/tonvex");
  EXPECT_EQ(settings::GetInstallDirectory(), "/opt/tonvex/bin");
  settings::ResetInstallDirectoryCache();
  EXPECT_EQ(settings::GetInstallDirectory(), "/elsewhere");
  settings::ResetInstallDirectoryCache();
}

TEST_F(Switches, ShippedPresetsAreCopiedIntoAFolderWithoutPresets) {
  std::string shipped = root + "/share";
  std::filesystem::create_directories(shipped);
  WriteFile(shipped + "/01_Flat.tvd", "flat");
  WriteFile(shipped + "/02_Rock.tvd", "rock");
  WriteFile(shipped + "/03_Pop.TVD", "pop");
  WriteFile(shipped + "/readme.txt", "no");
  std::string folder = root + "/fresh/tonvex";
  EXPECT_EQ(settings::SeedPresets(shipped, folder), 2);
  EXPECT_EQ(ReadFile(folder + "/01_Flat.tvd"), "flat");
  EXPECT_FALSE(Exists(folder + "/readme.txt"));
  EXPECT_FALSE(Exists(folder + "/03_Pop.TVD")) << "it could never be loaded as 03_Pop.tvd";
  std::filesystem::remove(folder + "/01_Flat.tvd");
  EXPECT_EQ(settings::SeedPresets(shipped, folder), 0) << "a folder with any preset is the user's choice";
  EXPECT_FALSE(Exists(folder + "/01_Flat.tvd"));
}

}  // namespace
