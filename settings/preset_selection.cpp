#include "settings/preset_selection.h"

#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/config_file.h"
#include "settings/configuration_folder.h"
#include "settings/number_text.h"
#include "settings/path_text.h"
#include "settings/string_ids.h"

namespace settings {

PresetSelection::PresetSelection(ConfigurationModel& model, engine::ProcessingParameters& parameters,
                                 platform::UserPrompt* prompt)
    : model_(model), parameters_(parameters), prompt_(prompt) {}

platform::UserPrompt& PresetSelection::Prompt() const { return prompt_ ? *prompt_ : platform::Prompt(); }

const std::string& PresetSelection::ConfigFolder() {
  if (configFolder.empty()) {
    configFolder = DefaultConfigurationFolder();
    SeedPresets(ShippedPresetFolder(), configFolder);
  }
  return configFolder;
}

void PresetSelection::LoadSelection() {
  selectionName.clear();
  customTitle.clear();
  pending = 0;
  platform::RegistryKey key;
  if (key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(kStringProductKey), platform::KEY_READ) != 0) return;
  if (key.QueryString("selection", &selectionName, 1024) == 0 && StartsWithIgnoringCase(selectionName, "Custom"))
    key.QueryString("selcustom", &customTitle, 1024);
  std::string pendingText;
  if (key.QueryString("pending", &pendingText, 1024) == 0) pending = ParseInteger(pendingText);
}

void PresetSelection::SaveSelection() { StoreSelection(pending != 0); }

void PresetSelection::StoreSelection(bool pendingStored) {
  platform::RegistryKey key;
  if (key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(kStringProductKey), platform::KEY_WRITE) != 0) return;
  auto text = [](const std::string& value) -> std::optional<platform::RegistryValue> {
    if (value.empty()) return std::nullopt;  // deleted
    return platform::RegistryValue::String(value);
  };
  key.SetValues({{"selection", text(selectionName)},
                 {"selcustom", text(customTitle)},
                 {"pending", text(pendingStored ? "1" : "0")}});
}

std::string PresetSelection::CustomEntryText() const {
  return customTitle.empty() ? selectionName : selectionName + " (" + customTitle + ")";
}

int PresetSelection::FindCustomItem() const {
  if (!presetCombo) return -1;
  const int count = presetCombo->Count();
  // Starts at the second item and wraps round to the first, as the list box's own search does.
  for (int step = 1; step <= count; ++step) {
    int index = step % count;
    if (StartsWithIgnoringCase(presetCombo->Text(index), "Custom")) return index;
  }
  return -1;
}

void PresetSelection::ReplaceCustomItem(const std::string& text) {
  if (!presetCombo) return;
  int index = FindCustomItem();
  if (index >= 0) {
    presetCombo->Delete(index);
    index = presetCombo->Insert(index, text);
  } else {
    index = presetCombo->Add(text);
  }
  presetCombo->Select(index);
  selectedIndex = index;
}

std::string PresetSelection::FileNameFor(const std::string& display) const {
  for (int i = 0; i < presetCount; ++i)
    if (EqualIgnoringCase(presetTable[i].display, display)) return presetTable[i].file;
  return display;
}

namespace {
// Without the spaces a display name may carry, and the modified marker.
std::string_view Bare(std::string_view text) {
  if (text.size() > 2 && text.substr(text.size() - 2) == " *") text.remove_suffix(2);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}
}  // namespace

int PresetSelection::FindPreset(const std::string& title) const {
  if (!presetCombo) return -1;
  for (int i = 0; i < presetCount; ++i) {
    if (!EqualIgnoringCase(Bare(presetTable[i].display), Bare(title)) && !EqualIgnoringCase(presetTable[i].file, title))
      continue;
    for (int index = 0; index < presetCombo->Count(); ++index)
      if (EqualIgnoringCase(Bare(presetCombo->Text(index)), Bare(presetTable[i].display))) return index;
  }
  return -1;
}

void PresetSelection::MarkModified() {
  if (pending == 1) return;
  pending = 1;
  // Stored later, with "Custom.tvh" (KeepPendingChanges).
  if (selectionName != "Custom") {
    selectionName = "Custom";
    customTitle.clear();
    ReplaceCustomItem("Custom");
  }
  AddModifiedMarker();
}

void PresetSelection::AddModifiedMarker() {
  if (!presetCombo) return;
  int index = presetCombo->Selected();
  if (index < 0) return;
  std::string text = presetCombo->Text(index);
  if (text.rfind(" *", 0) == 0) return;
  while (!text.empty() && (text.back() == ' ' || text.back() == '*')) text.pop_back();
  text += " *";
  presetCombo->Delete(index);
  index = presetCombo->Insert(index, text);
  presetCombo->Select(index);
  selectedIndex = index;
}

void PresetSelection::OnPresetSelected() {
  if (!presetCombo) return;
  int index = presetCombo->Selected();
  if (index < 0 || index == selectedIndex) return;
  if (pending) {
    // Cancel does not cancel the switch: it answers the question like No.
    if (Prompt().ShowMessage(platform::LoadString(kStringSaveChanges), platform::PromptButtons::YesNoCancel) ==
        platform::PromptAnswer::Yes)
      SaveUserFile(false);
    pending = 0;
  }
  selectedIndex = index;
  selectionName = presetCombo->Text(index);
  int custom = FindCustomItem();
  if (custom >= 0) presetCombo->Delete(custom);
  presetCombo->Select(selectedIndex);
  selectionName = FileNameFor(selectionName);
  customTitle.clear();
  SaveSelection();
  CConfigFile(*this).Open(selectionName + ".tvd");
}

PresetSelection& Selection() {
  static PresetSelection selection(Configuration(), engine::Parameters());
  return selection;
}

}  // namespace settings
