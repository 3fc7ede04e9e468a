#include <filesystem>

#include "platform/autostart.h"
#include "platform/standard_folders.h"
#include "settings/application_switches.h"
#include "settings/configuration_folder.h"
#include "settings/installed_program.h"
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
  settings::ApplicationSwitches switches{parameters};
};

// The switches a user changes are written into the user's own settings, the amplifier's too: a normal user
// cannot write an installed package's machine file. The user's value wins over the machine's default.
TEST_F(Switches, StoringWritesTheUsersSettingsAndTheUsersAmplifierValueWins) {
  SetValue(HKEY_LOCAL_MACHINE, "amplificator", "1");
  SwitchValues values = switches.Load();
  EXPECT_EQ(values.amplificator, 1) << "the machine's default";
  values.minimized = 1;
  values.preferred = 0;
  values.amplificator = 0;
  switches.Store(values);
  EXPECT_EQ(UserValue("minimized"), "1");
  EXPECT_EQ(UserValue("preferred"), "0");
  EXPECT_EQ(UserValue("amplificator"), "0");
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, "amplificator"), "1") << "the machine file is left alone";
  EXPECT_EQ(parameters.amplificator, 0);
  EXPECT_EQ(settings::ApplicationSwitches(parameters).Load().amplificator, 0);
  values.amplificator = 1;
  switches.Store(values);
  SetValue(HKEY_LOCAL_MACHINE, "amplificator", "0");
  EXPECT_EQ(settings::ApplicationSwitches(parameters).Load().amplificator, 1);
}

// The package installs into /usr and keeps its machine file in /etc; other prefixes keep it beside them.
TEST(MachineSettings, LiveInEtcForAPackageAndBesideAnyOtherPrefix) {
  EXPECT_EQ(platform::MachineSettingsFolder("/usr"), "/etc/tonvex");
  EXPECT_EQ(platform::MachineSettingsFolder("/usr/local"), "/usr/local/etc/tonvex");
  EXPECT_EQ(platform::MachineSettingsFolder("/home/u/build/install"), "/home/u/build/install/etc/tonvex");
}

// After a package upgrade the running executable reads "/usr/bin/tonvex (deleted)"; the entry names the
// installed command: the program the machine file names, else the running one without the mark. The switch
// is the autostart entry for this very program, never a stored copy that could disagree with it.
TEST_F(Switches, TheLogOnEntryRunsTheInstalledCommand) {
  EXPECT_EQ(platform::WithoutDeletedMark("/usr/bin/tonvex (deleted)"), "/usr/bin/tonvex");
  EXPECT_EQ(platform::WithoutDeletedMark("/usr/bin/tonvex"), "/usr/bin/tonvex");
  const std::string installed = root + "/bin/tonvex";
  std::filesystem::create_directories(root + "/bin");
  WriteText(installed, "#!/bin/sh\n");
  std::filesystem::permissions(installed, std::filesystem::perms::owner_all);
  SetValue(HKEY_LOCAL_MACHINE, "", installed, settings::kAppPathsKey);
  SwitchValues values = switches.Load();
  values.launch = 1;
  switches.Store(values);
  EXPECT_TRUE(platform::IsLaunchOnLogOnSet(installed));
  EXPECT_EQ(settings::ApplicationSwitches(parameters).Load().launch, 1);
  // A machine file naming a program that is not there: the running executable.
  SetValue(HKEY_LOCAL_MACHINE, "", root + "/gone/tonvex", settings::kAppPathsKey);
  EXPECT_EQ(settings::InstalledProgramPath(), platform::RunningProgramPath());
  EXPECT_EQ(settings::ApplicationSwitches(parameters).Load().launch, 0) << "the entry is another program's";
  values.launch = 0;
  switches.Store(values);
  EXPECT_FALSE(std::filesystem::exists(platform::AutostartFilePath()));
}

// The machine file's "language" where it has one; otherwise the desktop's locale, in the order the C
// library takes its variables.
TEST_F(Switches, InterfaceLanguageFromTheMachineKeyElseTheLocale) {
  const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char* name : names) ::unsetenv(name);
  EXPECT_EQ(settings::LoadUiLanguage(), 9);
  struct Case {
    const char* language;
    const char* all;
    const char* messages;
    const char* lang;
    int expected;
  };
  for (const Case& c :
       {Case{"", "", "", "pt_BR.UTF-8", 22}, Case{"", "", "pt_PT.UTF-8", "en_US.UTF-8", 22},
        Case{"", "", "en_GB.UTF-8", "pt_BR.UTF-8", 9}, Case{"pt_BR:en", "", "", "en_US.UTF-8", 22},
        Case{"en:pt", "", "", "pt_BR.UTF-8", 9}, Case{"", "C.UTF-8", "pt_BR", "", 9}, Case{"", "", "", "", 9}}) {
    const char* values[] = {c.language, c.all, c.messages, c.lang};
    for (int i = 0; i < 4; ++i) ::setenv(names[i], values[i], 1);
    EXPECT_EQ(settings::LoadUiLanguage(), c.expected)
        << c.language << "|" << c.all << "|" << c.messages << "|" << c.lang;
  }
  ::setenv("LANG", "pt_BR.UTF-8", 1);
  for (auto [stored, language] : {std::pair{"22", 22}, {"22abc", 22}, {"278", 22}, {"23", 9}, {"x", 9}, {"9", 9}}) {
    SetValue(HKEY_LOCAL_MACHINE, "language", stored);
    EXPECT_EQ(settings::LoadUiLanguage(), language) << stored;
    EXPECT_EQ(platform::UiLanguage(), language);
  }
  for (const char* name : names) ::unsetenv(name);
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
