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
  // Redesign first, then filter: every band's design depends only on its own record, so the order of the
  // two loops does not change the result, and the enabled bands can then run two at a time.
  std::array<CBiquad*, kBandCount> active;
  int activeCount = 0;
  for (int band = 0; band < kBandCount; ++band) {
    const int index = BandIndex(band, channel);
    EqualizerBand& record = parameters_.bands[index];
    if (record.dirty && parameters_.lock.TryEnter()) {
      sections_[index].DesignPeaking(sampleRate_, record.frequency, record.gain, kBandwidthOctaves);
      record.dirty = 0;
      parameters_.lock.Leave();
    }
    if (record.enabled) active[activeCount++] = &sections_[index];
  }
  double* samples = buffer.Data();
  const int count = buffer.Count();
  int next = 0;
  for (; next + 1 < activeCount; next += 2) CBiquad::ProcessPair(*active[next], *active[next + 1], samples, count);
  if (next < activeCount) active[next]->ProcessBlock(samples, count);
}

}  // namespace engine
