#include "platform/standard_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

std::string UserConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/tonvex";
  const char* home = std::getenv("HOME");
  std::string homeFolder = home && home[0] ? home : "";
  if (homeFolder.empty()) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
      homeFolder = found->pw_dir;
  }
  return homeFolder + "/.config/tonvex";
}

std::string InstallationPrefix() {
  std::vector<char> buffer(4096);
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  std::string path(buffer.data(), static_cast<size_t>(length));
  for (int level = 0; level < 2; ++level) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    path.erase(slash);
  }
  return path;
}

std::string MachineSettingsFolder(const std::string& prefix) {
  return prefix == "/usr" ? std::string("/etc/tonvex") : prefix + "/etc/tonvex";
}

}  // namespace platform
