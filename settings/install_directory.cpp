#include "settings/install_directory.h"

#include <unistd.h>

#include "platform/autostart.h"
#include "platform/registry.h"

namespace settings {
namespace {
std::string& Cache() {
  static std::string cache;
  return cache;
}
}  // namespace

const std::string& GetInstallDirectory() {
  std::string& cache = Cache();
  if (!cache.empty()) return cache;
  platform::RegistryKey key;
  if (key.Open(platform::HKEY_LOCAL_MACHINE, kAppPathsKey, platform::KEY_READ) != 0) return cache;
  std::string program;
  size_t slash = std::string::npos;
  if (key.QueryString("", &program, 1016) == 0) slash = program.rfind('/');
  cache = slash == std::string::npos ? std::string() : program.substr(0, slash);
  return cache;
}

void ResetInstallDirectoryCache() { Cache().clear(); }

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
