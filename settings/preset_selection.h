#pragma once
#include <string>
#include <vector>

#include "engine/processing_parameters.h"
#include "platform/user_prompt.h"
#include "settings/configuration_model.h"
#include "settings/preset_list.h"

namespace settings {

struct PresetEntry {
  std::string file;     // the preset file's name up to its first "."
  std::string display;  // the text shown in the list
};

inline constexpr int kMaxPresets = 100;

// Which configuration is current (a preset, a user file, or the automatically kept "Custom.tvh"),
// shown in the toolbar's preset list and kept in the registry values "selection", "selcustom" and
// "pending" under HKEY_CURRENT_USER\Software\Brevalto\Tonvex.
//
// States: preset selected (selectionName = the preset's file name, pending 0, no custom item);
// user file (selectionName "Custom", customTitle = the file's title, item "Custom (title)");
// modified (pending 1, the selected item carries " *"; stored with "Custom.tvh" by KeepPendingChanges).
class PresetSelection {
 public:
  // `prompt` nullptr: use the process-wide prompt at the moment of asking.
  PresetSelection(ConfigurationModel& model, engine::ProcessingParameters& parameters,
                  platform::UserPrompt* prompt = nullptr);

  void LoadSelection();
  void SaveSelection();
  std::string CustomEntryText() const;
  // Fills the list from the configuration folder's *.tvd files (display names for `language`),
  // selects the configuration that was current at the last exit and loads it.
  void BuildPresetList(PresetList& list, int language);
  void OnPresetSelected();
  // The list's index of the preset shown as `title` or stored as the file `title` (any letter case; spaces
  // around the name and the modified marker do not count), or -1.
  int FindPreset(const std::string& title) const;
  void MarkModified();
  void AddModifiedMarker();
  // Open dialog and load: 0, -EINTR when cancelled, or the negated errno of a failed open.
  int OpenUserFile();
  // Loads the user configuration `path` as Open does after its dialog (unsaved changes are the caller's
  // to ask about): 0, or the negated errno of a failed open, with nothing changed and nothing shown.
  int LoadUserFile(const std::string& path);
  // With unsaved changes, asks whether to save them first, and saves them on Yes (as Open does).
  void OfferToSavePending();

  // A configuration per output device (device_bindings.cpp), stored in the user's settings under the
  // device's description. The current configuration as a binding names it: "preset:FILE", "file:TITLE" for
  // a user configuration, empty for the kept "Custom.tvh" alone, which has no name to bind.
  std::string BindingText() const;
  // Binds the current configuration (its saved state) to `device`; false when there is none to bind.
  bool BindToDevice(const std::string& device);
  std::string DeviceBinding(const std::string& device) const;
  // Loads the configuration bound to `device` as a choice in the list or Open would (unsaved changes are
  // asked about as there); false when the device has no binding, it is current already, or it is gone.
  bool ApplyDeviceBinding(const std::string& device);
  // Save dialog and store; nothing changes when the user cancels or the file cannot be written.
  void SaveUserFile(bool keepPending = false);
  // Exit from the menu: unsaved changes are kept in "Custom.tvh" or, for a titled configuration, saved
  // into it when the user says Yes (No discards them for the next start).
  void SaveOnExit();
  // Unsaved changes (pending) into "Custom.tvh" and then the selection with pending 1, so the stored
  // selection never names a file that is not there: 0, or the errno of the failed write, which is told on
  // stderr only (no message box). Runs once the user's change settles, and when the session ends.
  int KeepPendingChanges();
  // Moves a file into the configuration folder: 1 moved, 0 already there, <0 failed or declined.
  int ImportFile(const std::string& path);

  // The configuration folder, found on first need (see configuration_folder.h).
  const std::string& ConfigFolder();
  ConfigurationModel& Model() { return model_; }
  engine::ProcessingParameters& Parameters() { return parameters_; }
  platform::UserPrompt& Prompt() const;

  std::string configFolder;
  std::vector<PresetEntry> presetTable;  // presetCount entries
  int presetCount = 0;
  PresetList* presetCombo = nullptr;
  int selectedIndex = -1;
  std::string selectionName;
  std::string customTitle;
  int pending = 0;

 private:
  int FindCustomItem() const;
  void ReplaceCustomItem(const std::string& text);
  std::string FileNameFor(const std::string& display) const;
  void ScanPresets(int language);
  void ChooseInitialConfiguration();
  void StoreSelection(bool pendingStored);

  ConfigurationModel& model_;
  engine::ProcessingParameters& parameters_;
  platform::UserPrompt* prompt_;
};

// The process-wide selection, on the process-wide configuration, parameters and prompt.
PresetSelection& Selection();

}  // namespace settings
