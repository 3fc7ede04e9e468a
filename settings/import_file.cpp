#include <unistd.h>

#include <cerrno>

#include "platform/file_move.h"
#include "platform/string_table.h"
#include "settings/path_text.h"
#include "settings/preset_selection.h"
#include "settings/string_ids.h"

namespace settings {

int PresetSelection::ImportFile(const std::string& path) {
  if (path.empty() || path.find('/') == std::string::npos) {
    Prompt().ShowMessage(platform::LoadString(kStringInvalidArguments), platform::PromptButtons::Ok);
    return -EINVAL;
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
