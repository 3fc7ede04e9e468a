#include "engine/equalizer_bank.h"

namespace engine {

CEqualizerBank::CEqualizerBank(EqualizerParameters& parameters) : parameters_(parameters) {}

void CEqualizerBank::FollowSampleRate(int sampleRate) {
  if (sampleRate_ == sampleRate) return;
  sampleRate_ = sampleRate;
  for (EqualizerBand& band : parameters_.bands) {
    band.dirty = 1;
    band.enabled = 1;
  }
  for (EqualizerBand& band : parameters_.bands)
    if (band.frequency >= 2 * sampleRate) band.enabled = 0;
}

void CEqualizerBank::Unprime() {
  for (CBiquad& section : sections_) section.Unprime();
}

void CEqualizerBank::Run(CSignalBuffer& buffer, int channel) {
  for (int band = 0; band < kBandCount; ++band) {
    const int index = BandIndex(band, channel);
    EqualizerBand& record = parameters_.bands[index];
    if (record.dirty && parameters_.lock.TryEnter()) {
      sections_[index].DesignPeaking(sampleRate_, record.frequency, record.gain, kBandwidthOctaves);
      record.dirty = 0;
      parameters_.lock.Leave();
    }
    if (record.enabled) sections_[index].ProcessBlock(buffer.Data(), buffer.Count());
  }
}

}  // namespace engine
