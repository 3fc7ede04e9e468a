#include "engine/volume.h"

#include <cmath>

namespace engine {

void CVolume::SetVolumePosition(int position, int channel) {
  settings_.gain[channel] = position <= 98 ? std::pow(10.0, (40 - position) * 0.05) : 0.0;
}

int CVolume::GetVolumePosition(int channel) const {
  double gain = settings_.gain[channel];
  if (!(gain > 1e-20)) gain = 1e-20;
  return static_cast<int>(std::trunc(40.0 - 20.0 * std::log10(gain)));
}

double CVolume::EffectiveGain(int channel) const {
  const double gain = settings_.gain[channel];
  if (!(gain >= kSilenceGain)) return 0.0;
  return gain < kMaximumGain ? gain : kMaximumGain;
}

}  // namespace engine
