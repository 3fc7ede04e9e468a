#include "settings/application_switches.h"

#include "platform/autostart.h"
#include "platform/registry.h"
#include "platform/string_table.h"
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
  {
    platform::RegistryKey machine;
    std::string text;
    if (machine.Open(platform::HKEY_LOCAL_MACHINE, productKey, platform::KEY_READ) == 0 &&
        machine.QueryString("amplificator", &text, 1024) == 0 && !text.empty() && ParseInteger(text) != 0)
      values.amplificator = parameters_.amplificator = 1;
  }
  return values;
}

void ApplicationSwitches::Store(const SwitchValues& values) {
  if (values.launch != launchOnStartup) {
    // A failed write is not reported: the next Load reads the entry as it is.
    if (values.launch)
      platform::SetLaunchOnLogOn(platform::RunningProgramPath());
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
    WriteFlag(platform::HKEY_LOCAL_MACHINE, "amplificator", values.amplificator);
    parameters_.amplificator = values.amplificator;
  }
}

int LaunchOnStartupSet() { return platform::IsLaunchOnLogOnSet(platform::RunningProgramPath()) ? 1 : 0; }

ApplicationSwitches& Switches() {
  static ApplicationSwitches switches(engine::Parameters());
  return switches;
}

int LoadUiLanguage() {
  int language = platform::kLanguageEnglish;
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
