#include "settings/update_check.h"

#include <cctype>

#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/string_ids.h"

namespace settings {

std::string UpdateServerBase() {
  platform::RegistryKey key;
  std::string base;
  if (key.Open(platform::HKEY_LOCAL_MACHINE, platform::LoadString(kStringProductKey), platform::KEY_READ) != 0 ||
      key.QueryString("update_server", &base, 1024) != 0 || base.empty())
    return kDefaultUpdateServer;
  if (base.find("://") == std::string::npos) base = "http://" + base;
  while (base.ends_with('/')) base.pop_back();
  return base;
}

bool ReadInstalledVersion(std::string* version) {
  platform::RegistryKey key;
  return key.Open(platform::HKEY_LOCAL_MACHINE, platform::LoadString(kStringProductKey), platform::KEY_READ) == 0 &&
         key.QueryString("version", version, 1024) == 0;
}

bool AnswerMeansNewerVersion(std::string_view answer) {
  static constexpr std::string_view kNewer = "FALSE";
  if (answer.size() < kNewer.size()) return false;
  for (size_t i = 0; i < kNewer.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(answer[i])) != kNewer[i]) return false;
  return true;
}

}  // namespace settings
