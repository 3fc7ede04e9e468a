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
  platform::Guard guard(lock);
  for (int band = 0; band < kBandCount; ++band)
    for (int channel = 0; channel < kChannels; ++channel)
      design[BandIndex(band, channel)].frequency = kBandFrequencies[band];
}

double EqualizerParameters::Gain(int index) {
  platform::Guard guard(lock);
  return design[index].gain;
}

int LimiterSettings::Level(int channel) {
  platform::Guard guard(lock);
  return values[channel].level;
}

void ProcessingParameters::SetEqualizerBandGain(int band, double gainDb, int channel) {
  platform::Guard guard(equalizer.lock);
  const int index = BandIndex(band, channel);
  equalizer.design[index].gain = Within(gainDb, kMinimumBandGainDb, kMaximumBandGainDb, 0.0);
  equalizer.bands[index].dirty = 1;
}

void ProcessingParameters::SetCompressorChannel(int thresholdDbSpl, double rate, double attack, double release,
                                                int centerDbSpl, int channel) {
  platform::Guard guard(compressor.lock);
  using R = CompressorRange;
  CompressorChannel& record = compressor.channel[channel];
  record.threshold = (std::clamp(thresholdDbSpl, R::kMinimumThreshold, R::kMaximumThreshold) - kFullScaleDbSpl) * 0.05;
  record.center = (std::clamp(centerDbSpl, R::kMinimumCenter, R::kMaximumCenter) - kFullScaleDbSpl) * 0.05;
  record.rate = Within(rate, R::kMinimumRatio, R::kMaximumRatio, R::kMinimumRatio);
  compressor.times[channel] = {Within(attack, R::kMinimumAttack, R::kMaximumAttack, R::kMinimumAttack),
                               Within(release, R::kMinimumRelease, R::kMaximumRelease, R::kMinimumRelease)};
  record.dirty = 1;
}

void ProcessingParameters::SetLimiterChannel(int levelDbSpl, int channel, double attack, double release) {
  platform::Guard guard(limiter.lock);
  using R = LimiterRange;
  limiter.values[channel] = {std::clamp(levelDbSpl, R::kMinimumLevel, R::kMaximumLevel),
                             Within(attack, R::kMinimumAttack, R::kMaximumAttack, R::kMinimumAttack),
                             Within(release, R::kMinimumRelease, R::kMaximumRelease, R::kMinimumRelease)};
  limiter.channel[channel].dirty = 1;
}

ProcessingParameters& Parameters() {
  static ProcessingParameters parameters;
  return parameters;
}

}  // namespace engine
