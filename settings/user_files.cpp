#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/string_table.h"
#include "settings/config_file.h"
#include "settings/configuration_io.h"
#include "settings/configuration_stream.h"
#include "settings/path_text.h"
#include "settings/preset_selection.h"
#include "settings/string_ids.h"

namespace settings {
namespace {

constexpr unsigned kDialogFlags =
    platform::kHideReadOnly | platform::kOverwritePrompt | platform::kPathMustExist | platform::kFileMustExist;

bool AskToSave(platform::UserPrompt& prompt) {
  return prompt.ShowMessage(platform::LoadString(kStringSaveChanges), platform::PromptButtons::YesNoCancel) ==
         platform::PromptAnswer::Yes;
}

}  // namespace

void PresetSelection::OfferToSavePending() {
  if (pending && AskToSave(Prompt())) SaveUserFile(false);
}

int PresetSelection::OpenUserFile() {
  OfferToSavePending();
  platform::FileDialogRequest request;
  request.open = true;
  request.defaultExtension = "tva";
  request.initialName = ConfigFolder() + "/*.tva";
  request.filter = "Tonvex Files (*.tva)|*.tva|Tonvex Pro Files (*.tvx)|*.tvx||";
  request.flags = kDialogFlags;
  std::string path;
  if (!Prompt().ChooseFile(request, &path)) return -EINTR;
  const int result = LoadUserFile(path);
  if (result != 0) Prompt().ShowMessage(platform::LoadString(kStringCannotOpenFile), platform::PromptButtons::Ok);
  return result;
}

int PresetSelection::LoadUserFile(const std::string& path) {
  int error = 0;
  std::FILE* file = OpenConfigurationFile(path, &error);
  if (!file) return -error;
  selectionName = "Custom";
  customTitle = FileTitleOf(path);
  ReplaceCustomItem(CustomEntryText());
  pending = 0;
  SaveSelection();
  LoadConfiguration(file, model_, parameters_, Prompt());
  std::fclose(file);
  return 0;
}

void PresetSelection::SaveUserFile(bool keepPending) {
  platform::FileDialogRequest request;
  request.open = false;
  request.defaultExtension = "tva";
  request.initialName = selectionName == "Custom" && !customTitle.empty() ? ConfigFolder() + "/" + customTitle + ".tva"
                                                                          : ConfigFolder() + "/*.tva";
  request.filter = "Tonvex Files (*.tva)|*.tva|Tonvex v0.0 Files (*.tvu)|*.tvu||";
  request.flags = kDialogFlags;
  std::string path;
  if (!Prompt().ChooseFile(request, &path)) return;
  // Written completely before the selection changes, so a failed save leaves everything as it was.
  if (WriteConfigurationFile(path, model_, Prompt()) != 0) {
    Prompt().ShowMessage(platform::LoadString(kStringCannotOpenFile), platform::PromptButtons::Ok);
    return;
  }
  selectionName = "Custom";
  customTitle = FileTitleOf(path);
  ReplaceCustomItem(CustomEntryText());
  if (!keepPending) pending = 0;
  SaveSelection();
}

void PresetSelection::SaveOnExit() {
  if (!pending) return;
  if (!customTitle.empty()) {
    // Kept changes were stored as they settled; No leaves the file as saved for the next start.
    if (AskToSave(Prompt()))
      SaveUserFile(false);
    else
      StoreSelection(false);
    return;
  }
  if (KeepPendingChanges() != 0)
    Prompt().ShowMessage(platform::LoadString(kStringCannotOpenFile), platform::PromptButtons::Ok);
}

int PresetSelection::KeepPendingChanges() {
  if (!pending) return 0;
  const std::string path = ConfigFolder() + "/Custom.tvh";
  if (int error = WriteConfigurationFile(path, model_, Prompt())) {
    std::fprintf(stderr, "tonvex: warning: cannot keep the unsaved changes in %s: %s\n", path.c_str(),
                 std::strerror(error));
    return error;
  }
  SaveSelection();
  return 0;
}

}  // namespace settings
