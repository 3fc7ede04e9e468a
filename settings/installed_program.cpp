#include "settings/installed_program.h"

#include <unistd.h>

#include "platform/autostart.h"
#include "platform/registry.h"

namespace settings {

std::string InstalledProgramPath() {
  platform::RegistryKey key;
  std::string program;
  if (key.Open(platform::HKEY_LOCAL_MACHINE, kAppPathsKey, platform::KEY_READ) == 0 &&
      key.QueryString("", &program, 1016) == 0 && !program.empty() && program[0] == '/' &&
      ::access(program.c_str(), X_OK) == 0)
    return program;
  return platform::RunningProgramPath();
}

}  // namespace settings
