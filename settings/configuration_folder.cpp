#include "settings/configuration_folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/standard_folders.h"

namespace settings {

std::string DefaultConfigurationFolder() { return platform::UserConfigFolder(); }

std::string ShippedPresetFolder() { return platform::InstallationPrefix() + "/share/tonvex/presets"; }

bool IsPresetFileName(const std::string& name) {
  constexpr std::string_view kExtension = ".tvd";
  return name.size() > kExtension.size() &&
         std::string_view(name).substr(name.size() - kExtension.size()) == kExtension;
}

std::vector<std::string> PresetFileNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* directory = ::opendir(folder.c_str());
  if (!directory) return names;
  while (dirent* entry = ::readdir(directory)) {
    std::string name = entry->d_name;
    if (name[0] != '.' && IsPresetFileName(name)) names.push_back(name);
  }
  ::closedir(directory);
  return names;
}

int SeedPresets(const std::string& shippedFolder, const std::string& configFolder) {
  if (platform::CreateFolders(configFolder) != 0) return 0;
  if (!PresetFileNames(configFolder).empty()) return 0;
  int copied = 0;
  for (const std::string& name : PresetFileNames(shippedFolder)) {
    std::ifstream source(shippedFolder + "/" + name, std::ios::binary);
    if (!source) continue;
    std::ostringstream content;
    content << source.rdbuf();
    if (platform::ReplaceFileContent(configFolder + "/" + name, content.str()) == 0) ++copied;
  }
  return copied;
}

}  // namespace settings
