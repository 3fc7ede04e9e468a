#include "engine/processing_parameters.h"

namespace engine {

EqualizerParameters::EqualizerParameters() {
  for (int band = 0; band < kBandCount; ++band)
    for (int channel = 0; channel < kChannels; ++channel)
      bands[BandIndex(band, channel)].frequency = kBandFrequencies[band];
}

void ProcessingParameters::SetEqualizerBandGain(int band, double gainDb, int channel) {
  platform::Guard guard(equalizer.lock);
  EqualizerBand& record = equalizer.bands[BandIndex(band, channel)];
  record.gain = gainDb;
  record.dirty = 1;
}

void ProcessingParameters::SetCompressorChannel(int thresholdDbSpl, double rate, double attack, double release,
                                                int centerDbSpl, int channel) {
  platform::Guard guard(compressor.lock);
  CompressorChannel& record = compressor.channel[channel];
  record.threshold = (thresholdDbSpl - kFullScaleDbSpl) * 0.05;
  record.center = (centerDbSpl - kFullScaleDbSpl) * 0.05;
  record.rate = rate;
  record.attack = attack;
  record.release = release;
  record.dirty = 1;
}

void ProcessingParameters::SetLimiterChannel(int levelDbSpl, int channel, double attack, double release) {
  platform::Guard guard(limiter.lock);
  LimiterChannel& record = limiter.channel[channel];
  record.level = levelDbSpl;
  record.attack = attack;
  record.release = release;
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
