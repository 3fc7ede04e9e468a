#include "settings/application_switches.h"

#include <cstdlib>
#include <string_view>

#include "platform/autostart.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/installed_program.h"
#include "settings/number_text.h"
#include "settings/string_ids.h"

namespace settings {
namespace {

void WriteFlag(platform::RegistryRoot root, const char* name, int value) {
  platform::RegistryKey key;
  if (key.Open(root, platform::LoadString(kStringProductKey), platform::KEY_WRITE) != 0) return;
  key.SetString(name, value ? "1" : "0");
}

}  // namespace

ApplicationSwitches::ApplicationSwitches(engine::ProcessingParameters& parameters) : parameters_(parameters) {}

SwitchValues ApplicationSwitches::Load() {
  SwitchValues values;
  launchOnStartup = 0;
  startMinimized = 0;
  preferredDevice = 1;
  parameters_.amplificator = 0;
  const std::string productKey = platform::LoadString(kStringProductKey);
  values.launch = launchOnStartup = LaunchOnStartupSet();
  {
    platform::RegistryKey user;
    if (user.Open(platform::HKEY_CURRENT_USER, productKey, platform::KEY_READ) == 0) {
      std::string text;
      if (user.QueryString("minimized", &text, 32) == 0) values.minimized = startMinimized = ParseInteger(text);
      if (user.QueryString("preferred", &text, 32) == 0) values.preferred = preferredDevice = ParseInteger(text);
    }
  }
  // The user's own choice first; the machine's value is the installation's default.
  for (const platform::RegistryRoot root : {platform::HKEY_CURRENT_USER, platform::HKEY_LOCAL_MACHINE}) {
    platform::RegistryKey key;
    std::string text;
    if (key.Open(root, productKey, platform::KEY_READ) != 0 || key.QueryString("amplificator", &text, 1024) != 0)
      continue;
    values.amplificator = parameters_.amplificator = !text.empty() && ParseInteger(text) != 0 ? 1 : 0;
    break;
  }
  return values;
}

void ApplicationSwitches::Store(const SwitchValues& values) {
  if (values.launch != launchOnStartup) {
    // A failed write is not reported: the next Load reads the entry as it is.
    if (values.launch)
      platform::SetLaunchOnLogOn(InstalledProgramPath());
    else
      platform::RemoveLaunchOnLogOn();
    launchOnStartup = values.launch;
  }
  if (values.minimized != startMinimized) {
    WriteFlag(platform::HKEY_CURRENT_USER, "minimized", values.minimized);
    startMinimized = values.minimized;
  }
  if (values.preferred != preferredDevice) {
    WriteFlag(platform::HKEY_CURRENT_USER, "preferred", values.preferred);
    preferredDevice = values.preferred;
  }
  if (values.amplificator != parameters_.amplificator) {
    // Into the user's settings: a normal user cannot write the machine file of an installed package.
    WriteFlag(platform::HKEY_CURRENT_USER, "amplificator", values.amplificator);
    parameters_.amplificator = values.amplificator;
  }
}

int LaunchOnStartupSet() { return platform::IsLaunchOnLogOnSet(InstalledProgramPath()) ? 1 : 0; }

ApplicationSwitches& Switches() {
  static ApplicationSwitches switches(engine::Parameters());
  return switches;
}

int LocaleLanguage() {
  // The variables in the order the C library's message catalogues take them; LANGUAGE is a list.
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !value[0]) continue;
    return std::string_view(value).substr(0, 2) == "pt" ? platform::kLanguagePortuguese : platform::kLanguageEnglish;
  }
  return platform::kLanguageEnglish;
}

int LoadUiLanguage() {
  int language = LocaleLanguage();
  platform::RegistryKey key;
  std::string text;
  if (key.Open(platform::HKEY_LOCAL_MACHINE, platform::LoadString(kStringProductKey), platform::KEY_READ) == 0 &&
      key.QueryString("language", &text, 1024) == 0)
    language = ParseInteger(text) & 0xFF;
  if (language != platform::kLanguagePortuguese) language = platform::kLanguageEnglish;
  platform::SetUiLanguage(language);
  return language;
}

}  // namespace settings
