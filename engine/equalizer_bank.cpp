#include "engine/equalizer_bank.h"

#include "engine/redesign_when_dirty.h"

namespace engine {

CEqualizerBank::CEqualizerBank(EqualizerParameters& parameters) : parameters_(parameters) {}

void CEqualizerBank::FollowSampleRate(int sampleRate) {
  if (sampleRate_ == sampleRate) return;
  sampleRate_ = sampleRate;
  for (EqualizerBand& band : parameters_.bands) {
    band.dirty = 1;
    band.enabled = 1;
  }
  for (int band = 0; band < kBandCount; ++band)
    if (kBandFrequencies[band] >= 2 * sampleRate)
      for (int channel = 0; channel < kChannels; ++channel) parameters_.bands[BandIndex(band, channel)].enabled = 0;
}

void CEqualizerBank::Reset() {
  for (CBiquad& section : sections_) section.Reset();
}

CEqualizerBank::ActiveBands CEqualizerBank::Prepare(int channel) {
  ActiveBands active;
  for (int band = 0; band < kBandCount; ++band) {
    const int index = BandIndex(band, channel);
    EqualizerBand& record = parameters_.bands[index];
    RedesignWhenDirty(record.dirty, parameters_.lock, [&]() REQUIRES(parameters_.lock) {
      const EqualizerBandDesign& design = parameters_.design[index];
      sections_[index].DesignPeaking(sampleRate_, design.frequency, design.gain, kBandwidthOctaves);
    });
    if (record.enabled) {
      active.section[active.count] = &sections_[index];
      active.band[active.count] = band;
      ++active.count;
    }
  }
  return active;
}

void CEqualizerBank::Filter(const ActiveBands& active, CSignalBuffer& buffer) {
  const std::span<double> samples = buffer.Samples();
  int next = 0;
  for (; next + 1 < active.count; next += 2)
    CBiquad::ProcessPair(*active.section[next], *active.section[next + 1], samples);
  if (next < active.count) active.section[next]->ProcessBlock(samples);
}

// Every band's design depends only on its own record, so designing all of a channel's bands before
// filtering gives the same result as designing each just before it runs; the enabled bands can then run
// two at a time.
bool CEqualizerBank::Run(CSignalBuffer& buffer, int channel) {
  const ActiveBands active = Prepare(channel);
  Filter(active, buffer);
  return ResetNonFinite(active);
}

bool CEqualizerBank::ResetNonFinite(const ActiveBands& active) {
  bool finite = true;
  for (int i = 0; i < active.count; ++i)
    if (!active.section[i]->HistoryFinite()) {
      active.section[i]->Reset();
      finite = false;
    }
  return finite;
}

bool CEqualizerBank::RunStereo(CSignalBuffer& left, CSignalBuffer& right) {
  const ActiveBands leftBands = Prepare(0);
  const ActiveBands rightBands = Prepare(1);
  const bool together =
      left.Count() == right.Count() && leftBands.count == rightBands.count && leftBands.band == rightBands.band;
  if (!together) {
    Filter(leftBands, left);
    Filter(rightBands, right);
    return BothFinite(leftBands, rightBands);
  }
  int next = 0;
  for (; next + 1 < leftBands.count; next += 2)
    CBiquad::ProcessPairStereo(*leftBands.section[next], *leftBands.section[next + 1], *rightBands.section[next],
                               *rightBands.section[next + 1], left.Samples(), right.Samples());
  if (next < leftBands.count) {
    leftBands.section[next]->ProcessBlock(left.Samples());
    rightBands.section[next]->ProcessBlock(right.Samples());
  }
  return BothFinite(leftBands, rightBands);
}

bool CEqualizerBank::BothFinite(const ActiveBands& left, const ActiveBands& right) {
  const bool leftFinite = ResetNonFinite(left);  // both sides are checked, whatever the first gives
  const bool rightFinite = ResetNonFinite(right);
  return leftFinite && rightFinite;
}

}  // namespace engine
