#include "engine/volume.h"

#include <cmath>

namespace engine {

void CVolume::SetVolumePosition(int position, int channel) {
  settings_.gain[channel] = position <= 98 ? std::pow(10.0, (40 - position) * 0.05) : 0.0;
}

// Positions are whole decibels; a gain stored with four decimals (the registry's "volume_left") comes back
// up to 0.022 dB off its position, above or below it. Without the allowance a gain rounded up on storing
// truncated to the position above: the volume rose by a step at every restart.
constexpr double kPositionAllowanceDb = 0.05;

int CVolume::GetVolumePosition(int channel) const {
  double gain = settings_.gain[channel];
  if (!(gain > 1e-20)) gain = 1e-20;
  return static_cast<int>(std::trunc(40.0 - 20.0 * std::log10(gain) + kPositionAllowanceDb));
}

double CVolume::EffectiveGain(int channel) const {
  const double gain = settings_.gain[channel];
  if (!(gain >= kSilenceGain)) return 0.0;
  return gain < kMaximumGain ? gain : kMaximumGain;
}

}  // namespace engine
