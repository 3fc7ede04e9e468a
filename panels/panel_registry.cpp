#include "panels/panel_registry.h"

#include <algorithm>
#include <string>

#include "engine/volume.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/number_text.h"
#include "settings/string_ids.h"

namespace panels {
namespace {

constexpr uint32_t kValueBufferBytes = 1024;

// Values from the registry reach the engine only within the ranges the sliders can produce: a gain
// between the bottom (-40 dB) and the top (+40 dB) of the volume sliders, limiter values of the
// limiter's sliders.
constexpr double kLowestGain = 0.01;
constexpr double kHighestGain = 100.0;
// A stored gain below this is written as this: the bottom of the slider is kept as -34 dB.
constexpr double kLowestStoredGain = 0.02;

bool OpenProductKey(platform::RegistryKey& key, uint32_t access) {
  return key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(settings::kStringProductKey), access) == 0;
}

bool ReadText(const platform::RegistryKey& key, const char* name, std::string* text) {
  return key.QueryString(name, text, kValueBufferBytes) == 0;
}

void RefreshVolumePositions(PanelState& state) {
  engine::CVolume volume(state.parameters.volume);
  state.volumePositionLeft = volume.GetVolumePosition(0);
  state.volumePositionRight = volume.GetVolumePosition(1);
  state.gatherChecked = volume.GetGather();
}

void HandLimiterToEngine(PanelState& state) {
  for (int channel = 0; channel < 2; ++channel) {
    const LimiterValues& values = state.limiterValues[channel];
    state.parameters.SetLimiterChannel(values.level, channel, values.attack, values.release);
  }
}

}  // namespace

void LoadVolumeSettings(PanelState& state) {
  engine::CVolume volume(state.parameters.volume);
  volume.SetVolumeGain(1.0, 0);
  volume.SetVolumeGain(1.0, 1);
  volume.SetGather(1);
  platform::RegistryKey key;
  if (OpenProductKey(key, platform::KEY_READ)) {
    std::string text;
    const char* names[2] = {"volume_left", "volume_right"};
    for (int channel = 0; channel < 2; ++channel)
      if (ReadText(key, names[channel], &text))
        volume.SetVolumeGain(std::clamp(settings::ParseDecimal(text), kLowestGain, kHighestGain), channel);
    if (ReadText(key, "gather", &text)) volume.SetGather(settings::ParseInteger(text) != 0 ? 1 : 0);
  }
  RefreshVolumePositions(state);
}

void SaveVolumeSettings(PanelState& state) {
  platform::RegistryKey key;
  if (!OpenProductKey(key, platform::KEY_WRITE)) return;
  engine::CVolume volume(state.parameters.volume);
  key.SetString("volume_left", settings::FormatFixed(std::max(volume.GetVolumeGain(0), kLowestStoredGain), 4));
  key.SetString("volume_right", settings::FormatFixed(std::max(volume.GetVolumeGain(1), kLowestStoredGain), 4));
  key.SetString("gather", volume.GetGather() ? "1" : "0");
}

void LoadLimiterSettings(PanelState& state) {
  state.limiterValues = {};
  platform::RegistryKey key;
  if (OpenProductKey(key, platform::KEY_READ)) {
    const char* suffix[2] = {"_left", "_right"};
    for (int side = 0; side < 2; ++side) {
      LimiterValues& values = state.limiterValues[side];
      std::string text;
      if (ReadText(key, (std::string("limiter") + suffix[side]).c_str(), &text))
        values.level = std::clamp(settings::ParseInteger(text), 48, 120);
      if (ReadText(key, (std::string("attack") + suffix[side]).c_str(), &text))
        values.attack = std::clamp(settings::ParseDecimal(text), 0.0, 0.02);
      if (ReadText(key, (std::string("release") + suffix[side]).c_str(), &text))
        values.release = std::clamp(settings::ParseDecimal(text), 0.01, 1.0);
    }
  }
  RefreshVolumePositions(state);
  HandLimiterToEngine(state);
}

void SaveLimiterSettings(PanelState& state) {
  platform::RegistryKey key;
  if (!OpenProductKey(key, platform::KEY_WRITE)) return;
  const char* suffix[2] = {"_left", "_right"};
  for (int side = 0; side < 2; ++side) {
    const LimiterValues& values = state.limiterValues[side];
    key.SetString(std::string("limiter") + suffix[side], settings::FormatInteger(values.level));
    key.SetString(std::string("attack") + suffix[side], settings::FormatFixed(values.attack, 8));
    key.SetString(std::string("release") + suffix[side], settings::FormatFixed(values.release, 8));
  }
}

void LoadMonitorSide(PanelState& state) {
  platform::RegistryKey key;
  std::string text;
  if (!OpenProductKey(key, platform::KEY_READ) || !ReadText(key, "monitor_side", &text)) return;
  const int side = settings::ParseInteger(text);
  state.monitorSide = side == engine::kSideRight || side == engine::kSideBoth ? side : engine::kSideLeft;
}

void SaveMonitorSide(const PanelState& state) {
  platform::RegistryKey key;
  if (!OpenProductKey(key, platform::KEY_WRITE)) return;
  key.SetString("monitor_side", settings::FormatInteger(state.monitorSide));
}

}  // namespace panels
