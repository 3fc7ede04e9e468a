#include "engine/processing_parameters.h"

#include <algorithm>
#include <cmath>

namespace engine {
namespace {
// `value` held to [low, high]; `fallback` when it is not a number (infinities clamp like any value).
double Within(double value, double low, double high, double fallback) {
  if (std::isnan(value)) return fallback;
  return std::clamp(value, low, high);
}
}  // namespace

EqualizerParameters::EqualizerParameters() {
  for (int band = 0; band < kBandCount; ++band)
    for (int channel = 0; channel < kChannels; ++channel)
      bands[BandIndex(band, channel)].frequency = kBandFrequencies[band];
}

void ProcessingParameters::SetEqualizerBandGain(int band, double gainDb, int channel) {
  platform::Guard guard(equalizer.lock);
  EqualizerBand& record = equalizer.bands[BandIndex(band, channel)];
  record.gain = Within(gainDb, kMinimumBandGainDb, kMaximumBandGainDb, 0.0);
  record.dirty = 1;
}

void ProcessingParameters::SetCompressorChannel(int thresholdDbSpl, double rate, double attack, double release,
                                                int centerDbSpl, int channel) {
  platform::Guard guard(compressor.lock);
  using R = CompressorRange;
  CompressorChannel& record = compressor.channel[channel];
  record.threshold = (std::clamp(thresholdDbSpl, R::kMinimumThreshold, R::kMaximumThreshold) - kFullScaleDbSpl) * 0.05;
  record.center = (std::clamp(centerDbSpl, R::kMinimumCenter, R::kMaximumCenter) - kFullScaleDbSpl) * 0.05;
  record.rate = Within(rate, R::kMinimumRatio, R::kMaximumRatio, R::kMinimumRatio);
  record.attack = Within(attack, R::kMinimumAttack, R::kMaximumAttack, R::kMinimumAttack);
  record.release = Within(release, R::kMinimumRelease, R::kMaximumRelease, R::kMinimumRelease);
  record.dirty = 1;
}

void ProcessingParameters::SetLimiterChannel(int levelDbSpl, int channel, double attack, double release) {
  platform::Guard guard(limiter.lock);
  using R = LimiterRange;
  LimiterChannel& record = limiter.channel[channel];
  record.level = std::clamp(levelDbSpl, R::kMinimumLevel, R::kMaximumLevel);
  record.attack = Within(attack, R::kMinimumAttack, R::kMaximumAttack, R::kMinimumAttack);
  record.release = Within(release, R::kMinimumRelease, R::kMaximumRelease, R::kMinimumRelease);
  record.dirty = 1;
}

ProcessingParameters& Parameters() {
  static ProcessingParameters parameters;
  return parameters;
}

void SetEqualizerBandGain(int band, double gainDb, int channel) {
  Parameters().SetEqualizerBandGain(band, gainDb, channel);
}

void SetCompressorChannel(int thresholdDbSpl, double rate, double attack, double release, int centerDbSpl,
                          int channel) {
  Parameters().SetCompressorChannel(thresholdDbSpl, rate, attack, release, centerDbSpl, channel);
}

void SetLimiterChannel(int levelDbSpl, int channel, double attack, double release) {
  Parameters().SetLimiterChannel(levelDbSpl, channel, attack, release);
}

}  // namespace engine
