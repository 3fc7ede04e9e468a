#include "tools/live_settings.h"

#include <cmath>
#include <string>
#include <vector>

#include "platform/string_table.h"
#include "settings/application_switches.h"
#include "settings/preset_list.h"
#include "settings/preset_selection.h"
#include "settings/stored_levels.h"

namespace cli {
namespace {

// The preset list without a window: the selection code fills it and picks the current entry.
class PlainPresetList : public settings::PresetList {
 public:
  int Count() const override { return int(items_.size()); }
  std::string Text(int index) const override { return Valid(index) ? items_[size_t(index)] : std::string(); }
  int Add(const std::string& text) override { return Insert(Count(), text); }
  int Insert(int index, const std::string& text) override {
    if (index < 0 || index > Count()) index = Count();
    items_.insert(items_.begin() + index, text);
    return index;
  }
  void Delete(int index) override {
    if (Valid(index)) items_.erase(items_.begin() + index);
  }
  int Selected() const override { return selected_; }
  void Select(int index) override { selected_ = Valid(index) ? index : -1; }

 private:
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  std::vector<std::string> items_;
  int selected_ = -1;
};

}  // namespace

void ApplyLiveSettings(const ProcessingOptions& options, engine::ProcessingParameters& parameters) {
  // Flat curves and ratio 1 first, so a folder without presets leaves nothing of an earlier state.
  ApplyProcessingOptions(ProcessingOptions{}, parameters);
  auto given = [&options](const char* name) { return options.given.count(name) > 0; };
  if (given("--config")) {
    settings::ConfigurationModel model;
    LoadConfigurationFile(options.configFile, model, parameters);
  } else {
    settings::LoadUiLanguage();
    PlainPresetList list;
    settings::PresetSelection selection(settings::Configuration(), parameters);
    selection.BuildPresetList(list, platform::UiLanguage());
  }
  settings::ApplicationSwitches(parameters).Load();  // the amplifier switch
  if (given("--amplificator")) parameters.amplificator = 1;

  settings::LoadStoredVolume(parameters.volume);
  settings::LimiterPair limiter = settings::LoadStoredLimiter();
  const char* const volumeNames[2] = {"--volume-left", "--volume-right"};
  const char* const limitNames[2] = {"--limit-left", "--limit-right"};
  for (int ch = 0; ch < 2; ++ch) {
    if (given(volumeNames[ch])) parameters.volume.gain[ch] = std::pow(10.0, options.volumeDb[ch] / 20.0);
    if (given(limitNames[ch])) limiter[size_t(ch)].level = options.limitDbSpl[ch];
    if (given("--limiter-attack")) limiter[size_t(ch)].attack = options.limiterAttack;
    if (given("--limiter-release")) limiter[size_t(ch)].release = options.limiterRelease;
  }
  settings::ApplyLimiter(limiter, parameters);
}

}  // namespace cli
