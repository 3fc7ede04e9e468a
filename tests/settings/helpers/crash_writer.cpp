// Saves a configuration over and over, alternating between two contents, until it is killed. After
// the first complete write it tells the parent on stdout. The registry writes through the same
// atomic writer.
//   settings_crash_writer <file>
#include <unistd.h>

#include <cstdio>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  return WriteConfigurations(argv[1]);
}
