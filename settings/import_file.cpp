#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_move.h"
#include "platform/string_table.h"
#include "settings/configuration_stream.h"
#include "settings/path_text.h"
#include "settings/preset_selection.h"
#include "settings/string_ids.h"

namespace settings {

int PresetSelection::ImportFile(const std::string& path) {
  if (path.empty() || path.find('/') == std::string::npos) {
    Prompt().ShowMessage(platform::LoadString(kStringInvalidArguments), platform::PromptButtons::Ok);
    return -EINVAL;
  }
  // Only what Open would read is taken in; the name itself must be the file (moving a link would move only
  // the name). Nothing is moved or made otherwise.
  struct stat link {};
  int refused = ::lstat(path.c_str(), &link) != 0 ? errno : S_ISLNK(link.st_mode) ? ENODEV : 0;
  if (!refused) refused = CheckConfigurationFile(path);
  if (refused) {
    std::fprintf(stderr, "tonvex: cannot take in %s: %s\n", path.c_str(), ConfigurationOpenErrorText(refused).c_str());
    Prompt().ShowMessage(platform::LoadString(kStringCopyFailed), platform::PromptButtons::Ok);
    return -refused;
  }
  std::string destination = ConfigFolder() + "/" + FileNameOf(path);
  // File names are case-sensitive here: "already there" means the very same file.
  if (destination == path || platform::SameFile(destination, path)) return 0;
  if (::access(destination.c_str(), F_OK) == 0) {
    if (Prompt().ShowMessage(platform::LoadString(kStringOverwrite), platform::PromptButtons::YesNoCancel) !=
        platform::PromptAnswer::Yes)
      return -1;
    // The existing file is replaced by the move itself, so a failed move leaves it in place.
  }
  if (int error = platform::MoveFile(path, destination)) {
    Prompt().ShowMessage(platform::LoadString(kStringCopyFailed), platform::PromptButtons::Ok);
    return -error;
  }
  return 1;
}

}  // namespace settings
