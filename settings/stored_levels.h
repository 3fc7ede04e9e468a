#pragma once
#include <array>

#include "engine/processing_parameters.h"

// The volume and limiter values under HKEY_CURRENT_USER\Software\Brevalto\Tonvex, which the desktop's panels
// keep and `tonvex-cli live` starts from. Failures are silent: a read that fails keeps the defaults, a write to
// a missing key is skipped (the key is never created here).
namespace settings {

// The limiter of one side as the user sets it; kept in the user's settings, not in configuration files.
struct LimiterValues {
  int level = 94;        // dB SPL, 48..120
  double attack = 0.0;   // s, 0..0.02
  double release = 0.5;  // s, 0.01..1
};
using LimiterPair = std::array<LimiterValues, 2>;  // left, right

// Defaults (unity, Gather on), then "volume_left", "volume_right", "gather", within the sliders' range.
void LoadStoredVolume(engine::VolumeSettings& volume);
void SaveStoredVolume(engine::VolumeSettings& volume);

// Defaults (94 dB SPL, 0 ms, 500 ms), then "limiter_*", "attack_*", "release_*", within the sliders' range.
LimiterPair LoadStoredLimiter();
void SaveStoredLimiter(const LimiterPair& limiter);
// Hands both sides to the engine's limiter block.
void ApplyLimiter(const LimiterPair& limiter, engine::ProcessingParameters& parameters);

}  // namespace settings
