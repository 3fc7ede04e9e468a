#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "settings/config_file.h"
#include "settings/configuration_folder.h"
#include "settings/configuration_stream.h"
#include "settings/equalizer_sampling.h"
#include "settings/path_text.h"
#include "settings/preset_selection.h"

namespace settings {
namespace {

// Preset files in the order the list shows them: by name, ignoring case (folder order would be
// arbitrary, and a preset would move in the list from one start to the next).
std::vector<std::string> PresetFiles(const std::string& folder) {
  std::vector<std::string> names = PresetFileNames(folder);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
      int ca = std::tolower(static_cast<unsigned char>(a[i])), cb = std::tolower(static_cast<unsigned char>(b[i]));
      if (ca != cb) return ca < cb;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

// The text after "=" of the first line that begins with `prefix` and has text after its "=".
bool FindDisplayName(std::FILE* file, const std::string& prefix, std::string* display) {
  char buffer[2048];
  while (std::fgets(buffer, sizeof buffer, file)) {
    std::string_view line(buffer);
    if (line.substr(0, prefix.size()) != prefix) continue;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view text = line.substr(equals + 1);
    text = text.substr(0, text.find_first_of("\r\n"));
    if (text.empty()) continue;
    *display = std::string(text);
    return true;
  }
  return false;
}

}  // namespace

void PresetSelection::ScanPresets(int language) {
  presetCount = 0;
  presetTable.clear();
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "lang_%02d_", language);
  for (const std::string& name : PresetFiles(ConfigFolder())) {
    if (presetCount >= kMaxPresets) break;
    int error = 0;
    std::FILE* file = OpenConfigurationFile(configFolder + "/" + name, &error);
    if (!file) continue;
    PresetEntry entry;
    entry.file = NameUpToFirstDot(name);
    bool named = FindDisplayName(file, prefix, &entry.display);
    std::fclose(file);
    if (!named) entry.display = entry.file;
    presetCombo->Add(entry.display);
    presetTable.push_back(entry);
    ++presetCount;
  }
}

void PresetSelection::BuildPresetList(PresetList& list, int language) {
  presetCombo = &list;
  LoadSelection();
  ScanPresets(language);
  ChooseInitialConfiguration();
}

void PresetSelection::ChooseInitialConfiguration() {
  if (pending) {
    int last = presetCombo->Add(CustomEntryText());
    presetCombo->Select(last);
    selectedIndex = last;
    AddModifiedMarker();
    CConfigFile(*this).Open("Custom.tvh");
    return;
  }
  if (EqualIgnoringCase(selectionName, "Custom")) {
    if (CConfigFile(*this).Open(customTitle + ".tva") == 0) {
      int last = presetCombo->Add(CustomEntryText());
      presetCombo->Select(last);
      selectedIndex = last;
      return;
    }
    selectionName.clear();
  }
  const int count = presetCombo->Count();
  if (count == 0) {
    // No preset at all: flat curves, and the compressor values the engine already has.
    model_.leftCurve.ResetToDefaults();
    model_.rightCurve.ResetToDefaults();
    ApplyCurvesToEqualizer(model_.leftCurve, model_.rightCurve, parameters_);
    selectedIndex = -1;
    return;
  }
  int chosen = -1;
  for (int i = 0; i < count && chosen < 0; ++i)
    if (EqualIgnoringCase(FileNameFor(presetCombo->Text(i)), selectionName)) chosen = i;
  if (chosen < 0) chosen = 0;
  // The file's own spelling: file names are case-sensitive here, unlike the stored selection's match.
  selectionName = FileNameFor(presetCombo->Text(chosen));
  presetCombo->Select(chosen);
  selectedIndex = chosen;
  CConfigFile(*this).Open(selectionName + ".tvd");
}

}  // namespace settings
