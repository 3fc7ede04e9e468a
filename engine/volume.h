#pragma once
#include "engine/processing_parameters.h"

namespace engine {

// The output volume of each channel, in linear gain and in slider positions (40 = unity, 1 dB a step).
class CVolume {
 public:
  explicit CVolume(VolumeSettings& settings) : settings_(settings) {}
  virtual ~CVolume() = default;

  void SetVolumeGain(double gain, int channel) { settings_.gain[channel] = gain; }
  double GetVolumeGain(int channel) const { return settings_.gain[channel]; }
  // Position 0 is +40 dB, 40 unity, 98 -58 dB; above 98 mutes.
  void SetVolumePosition(int position, int channel);
  // A muted channel reads 440.
  int GetVolumePosition(int channel) const;
  void SetGather(int gather) { settings_.gather = gather; }
  int GetGather() const { return settings_.gather; }

  // The gain the chain applies: below kSilenceGain the channel is silent, and no stored gain (say a
  // damaged registry value) goes above kMaximumGain, the top of the slider (+40 dB), or is not a number.
  static constexpr double kSilenceGain = 0.0105;
  static constexpr double kMaximumGain = 100.0;
  double EffectiveGain(int channel) const;

 private:
  VolumeSettings& settings_;
};

}  // namespace engine
