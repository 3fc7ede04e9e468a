#include "settings/application_switches.h"

#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/install_directory.h"
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
  {
    platform::RegistryKey run;
    std::string text;
    if (run.Open(platform::HKEY_LOCAL_MACHINE, kRunKey, platform::KEY_READ) == 0 &&
        run.QueryString("Tonvex", &text, 1024) == 0 && !text.empty())
      values.launch = launchOnStartup = 1;
  }
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
    platform::RegistryKey run;
    if (!values.launch) {
      if (run.Open(platform::HKEY_LOCAL_MACHINE, kRunKey, platform::KEY_ALL_ACCESS) == 0) run.DeleteValue("Tonvex");
    } else {
      platform::RegistryKey appPaths;
      std::string program;
      if (appPaths.Open(platform::HKEY_LOCAL_MACHINE, kAppPathsKey, platform::KEY_READ) == 0 &&
          appPaths.QueryString("", &program, 1024) == 0 &&
          run.Open(platform::HKEY_LOCAL_MACHINE, kRunKey, platform::KEY_READ | platform::KEY_WRITE) == 0)
        run.SetString("Tonvex", program);
    }
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
