#pragma once
#include "engine/processing_parameters.h"

// The settings of the chain benchmark, the same as bench/sox_compare.sh gives render: eight non-zero
// bands, a 2:1 compressor from -36 dBFS about -26 dBFS, volume 0.8 and a limiter at -12 dBFS.
namespace bench {

inline constexpr double kBandGains[engine::kBandCount] = {4.0, -3.0, 2.5, -1.5, 3.0, -2.0, 1.5, 5.0};
inline constexpr int kThresholdDbSpl = 60;
inline constexpr int kCenterDbSpl = 70;
inline constexpr double kRatio = 2.0;
inline constexpr double kAttack = 0.01;
inline constexpr double kRelease = 0.2;
inline constexpr double kVolume = 0.8;
inline constexpr int kLimitDbSpl = 84;

inline void ConfigureChain(engine::ProcessingParameters& p) {
  for (int ch = 0; ch < engine::kChannels; ++ch) {
    for (int band = 0; band < engine::kBandCount; ++band) p.SetEqualizerBandGain(band, kBandGains[band], ch);
    p.SetCompressorChannel(kThresholdDbSpl, kRatio, kAttack, kRelease, kCenterDbSpl, ch);
    p.volume.gain[ch] = kVolume;
    p.SetLimiterChannel(kLimitDbSpl, ch, 0.001, 0.5);
  }
}

}  // namespace bench
