// Saves a configuration, or writes a registry value, over and over, alternating between two
// contents, until it is killed. After the first complete write it tells the parent on stdout.
//   settings_crash_writer config <file>
//   settings_crash_writer registry <user registry folder>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "settings/config_file.h"
#include "tests/settings/helpers/crash_contents.h"

namespace {

void TellParent() {
  char ready = 'r';
  if (::write(STDOUT_FILENO, &ready, 1) != 1) ::_exit(3);
}

int WriteConfigurations(const std::string& path) {
  settings::ConfigurationModel models[2];
  crash_contents::Fill(models[0], 0);
  crash_contents::Fill(models[1], 1);
  platform::ConsolePrompt prompt;
  for (long round = 0;; ++round) {
    if (settings::WriteConfigurationFile(path, models[round % 2], prompt) != 0) return 1;
    if (round == 0) TellParent();
  }
}

int WriteRegistry(const std::string& folder) {
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, folder);
  platform::RegistryKey key;
  if (key.Open(platform::HKEY_CURRENT_USER, crash_contents::kRegistryKey, platform::KEY_WRITE) != 0) return 1;
  for (long round = 0;; ++round) {
    if (key.SetString("value", crash_contents::RegistryText(round % 2)) != 0) return 1;
    if (round == 0) TellParent();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (std::strcmp(argv[1], "config") == 0) return WriteConfigurations(argv[2]);
  if (std::strcmp(argv[1], "registry") == 0) return WriteRegistry(argv[2]);
  return 2;
}
