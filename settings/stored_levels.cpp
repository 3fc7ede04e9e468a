#include "settings/stored_levels.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/volume.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/number_text.h"
#include "settings/string_ids.h"

namespace settings {
namespace {

constexpr uint32_t kValueBufferBytes = 1024;

// Values from the registry reach the engine only within the ranges the sliders can produce: a gain
// between the bottom (-40 dB) and the top (+40 dB) of the volume sliders, limiter values of the
// limiter's sliders.
constexpr double kLowestGain = 0.01;
constexpr double kHighestGain = 100.0;
// A stored gain below this is written as this: the bottom of the slider is kept as -34 dB.
constexpr double kLowestStoredGain = 0.02;

const char* const kSuffix[2] = {"_left", "_right"};

bool OpenProductKey(platform::RegistryKey& key, uint32_t access) {
  return key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(kStringProductKey), access) == 0;
}

platform::RegistryValue Text(std::string_view text) { return platform::RegistryValue::String(text); }

bool ReadText(const platform::RegistryKey& key, const std::string& name, std::string* text) {
  return key.QueryString(name.c_str(), text, kValueBufferBytes) == 0;
}

}  // namespace

void LoadStoredVolume(engine::VolumeSettings& settings) {
  engine::CVolume volume(settings);
  volume.SetVolumeGain(1.0, 0);
  volume.SetVolumeGain(1.0, 1);
  volume.SetGather(1);
  platform::RegistryKey key;
  if (!OpenProductKey(key, platform::KEY_READ)) return;
  std::string text;
  for (int channel = 0; channel < 2; ++channel)
    if (ReadText(key, std::string("volume") + kSuffix[channel], &text))
      volume.SetVolumeGain(std::clamp(ParseDecimal(text), kLowestGain, kHighestGain), channel);
  if (ReadText(key, "gather", &text)) volume.SetGather(ParseInteger(text) != 0 ? 1 : 0);
}

void SaveStoredVolume(engine::VolumeSettings& settings) {
  platform::RegistryKey key;
  if (!OpenProductKey(key, platform::KEY_WRITE)) return;
  engine::CVolume volume(settings);
  key.SetValues({{"volume_left", Text(FormatFixed(std::max(volume.GetVolumeGain(0), kLowestStoredGain), 4))},
                 {"volume_right", Text(FormatFixed(std::max(volume.GetVolumeGain(1), kLowestStoredGain), 4))},
                 {"gather", Text(volume.GetGather() ? "1" : "0")}});
}

LimiterPair LoadStoredLimiter() {
  LimiterPair limiter{};
  platform::RegistryKey key;
  if (!OpenProductKey(key, platform::KEY_READ)) return limiter;
  for (int side = 0; side < 2; ++side) {
    LimiterValues& values = limiter[side];
    std::string text;
    if (ReadText(key, std::string("limiter") + kSuffix[side], &text))
      values.level = std::clamp(ParseInteger(text), 48, 120);
    if (ReadText(key, std::string("attack") + kSuffix[side], &text))
      values.attack = std::clamp(ParseDecimal(text), 0.0, 0.02);
    if (ReadText(key, std::string("release") + kSuffix[side], &text))
      values.release = std::clamp(ParseDecimal(text), 0.01, 1.0);
  }
  return limiter;
}

void SaveStoredLimiter(const LimiterPair& limiter) {
  platform::RegistryKey key;
  if (!OpenProductKey(key, platform::KEY_WRITE)) return;
  std::vector<platform::RegistryChange> changes;
  for (int side = 0; side < 2; ++side) {
    const LimiterValues& values = limiter[side];
    changes.push_back({std::string("limiter") + kSuffix[side], Text(FormatInteger(values.level))});
    changes.push_back({std::string("attack") + kSuffix[side], Text(FormatFixed(values.attack, 8))});
    changes.push_back({std::string("release") + kSuffix[side], Text(FormatFixed(values.release, 8))});
  }
  key.SetValues(changes);
}

void ApplyLimiter(const LimiterPair& limiter, engine::ProcessingParameters& parameters) {
  for (int channel = 0; channel < 2; ++channel)
    parameters.SetLimiterChannel(limiter[channel].level, channel, limiter[channel].attack, limiter[channel].release);
}

}  // namespace settings
