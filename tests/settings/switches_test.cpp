#include "platform/autostart.h"
#include "settings/application_switches.h"
#include "settings/configuration_folder.h"
#include "tests/settings/settings_fixture.h"

namespace {

using platform::HKEY_LOCAL_MACHINE;
using settings::SwitchValues;
using namespace settings_test;

class Switches : public settings_test::SettingsFixture {
 protected:
  void SetUp() override {
    SettingsFixture::SetUp();
    ::setenv("XDG_CONFIG_HOME", configFolder.c_str(), 1);  // the autostart entry stays in the sandbox
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    SettingsFixture::TearDown();
  }
  void SetMachineValue(const std::string& key, const std::string& name, const std::string& text) {
    SetValue(HKEY_LOCAL_MACHINE, name, text, key);
  }
  std::string MachineValue(const std::string& key, const std::string& name) {
    return Value(HKEY_LOCAL_MACHINE, name, key);
  }
  settings::ApplicationSwitches switches{parameters};
};

// The machine's value is written only where its key exists (beside the installation); the running value
// changes anyway.
TEST_F(Switches, StoringWritesTheMachineValueOnlyWhereItsKeyExistsAndTheRunningValueChangesAnyway) {
  SwitchValues values = switches.Load();
  values.minimized = 1;
  values.preferred = 0;
  values.amplificator = 1;
  switches.Store(values);
  EXPECT_EQ(UserValue("minimized"), "1");
  EXPECT_EQ(UserValue("preferred"), "0");
  EXPECT_EQ(MachineValue(kProductKey, "amplificator"), "<no key>") << "Open never creates the key";
  EXPECT_EQ(parameters.amplificator, 1);
  SetMachineValue(kProductKey, "language", "9");
  values.amplificator = 0;
  switches.Store(values);
  EXPECT_EQ(MachineValue(kProductKey, "amplificator"), "0");
}

// The switch is the autostart entry for this very program, never a stored copy that could disagree with it.
TEST_F(Switches, LaunchOnStartupIsTheAutostartEntryOfThisProgram) {
  SwitchValues values = switches.Load();
  values.launch = 1;
  switches.Store(values);
  EXPECT_EQ(settings::ApplicationSwitches(parameters).Load().launch, 1);
  values.launch = 0;
  switches.Store(values);
  EXPECT_FALSE(std::filesystem::exists(platform::AutostartFilePath()));
  platform::SetLaunchOnLogOn("/opt/other/bin/tonvex");
  EXPECT_EQ(switches.Load().launch, 0) << "an entry for another program";
}

TEST_F(Switches, InterfaceLanguageFromTheMachineKey) {
  EXPECT_EQ(settings::LoadUiLanguage(), 9);
  for (auto [stored, language] : {std::pair{"22", 22}, {"22abc", 22}, {"278", 22}, {"23", 9}, {"x", 9}}) {
    SetMachineValue(kProductKey, "language", stored);
    EXPECT_EQ(settings::LoadUiLanguage(), language) << stored;
    EXPECT_EQ(platform::UiLanguage(), language);
  }
  platform::SetUiLanguage(9);
}

TEST_F(Switches, ShippedPresetsAreCopiedIntoAFolderWithoutPresets) {
  std::string shipped = root + "/share";
  std::filesystem::create_directories(shipped);
  WriteText(shipped + "/01_Flat.tvd", "flat");
  WriteText(shipped + "/03_Pop.TVD", "pop");  // could never be loaded as 03_Pop.tvd
  WriteText(shipped + "/readme.txt", "no");
  std::string folder = root + "/fresh/tonvex";
  EXPECT_EQ(settings::SeedPresets(shipped, folder), 1);
  EXPECT_EQ(ReadText(folder + "/01_Flat.tvd"), "flat");
  std::filesystem::rename(folder + "/01_Flat.tvd", folder + "/Mine.tvd");
  EXPECT_EQ(settings::SeedPresets(shipped, folder), 0) << "a folder with any preset is the user's choice";
}

}  // namespace
