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
  for (EqualizerBand& band : parameters_.bands)
    if (band.frequency >= 2 * sampleRate) band.enabled = 0;
}

void CEqualizerBank::Unprime() {
  for (CBiquad& section : sections_) section.Unprime();
}

CEqualizerBank::ActiveBands CEqualizerBank::Prepare(int channel) {
  ActiveBands active;
  for (int band = 0; band < kBandCount; ++band) {
    const int index = BandIndex(band, channel);
    EqualizerBand& record = parameters_.bands[index];
    RedesignWhenDirty(record.dirty, parameters_.lock, [&] {
      sections_[index].DesignPeaking(sampleRate_, record.frequency, record.gain, kBandwidthOctaves);
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
  double* samples = buffer.Data();
  const int count = buffer.Count();
  int next = 0;
  for (; next + 1 < active.count; next += 2)
    CBiquad::ProcessPair(*active.section[next], *active.section[next + 1], samples, count);
  if (next < active.count) active.section[next]->ProcessBlock(samples, count);
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
      active.section[i]->Unprime();
      finite = false;
    }
  return finite;
}

bool CEqualizerBank::RunStereo(CSignalBuffer& left, CSignalBuffer& right) {
  const ActiveBands leftBands = Prepare(0);
  const ActiveBands rightBands = Prepare(1);
  const bool together = left.Count() == right.Count() && leftBands.count == rightBands.count &&
                        leftBands.band == rightBands.band;
  if (!together) {
    Filter(leftBands, left);
    Filter(rightBands, right);
    return ResetNonFinite(leftBands) & ResetNonFinite(rightBands);
  }
  const int count = left.Count();
  int next = 0;
  for (; next + 1 < leftBands.count; next += 2)
    CBiquad::ProcessPairStereo(*leftBands.section[next], *leftBands.section[next + 1], *rightBands.section[next],
                               *rightBands.section[next + 1], left.Data(), right.Data(), count);
  if (next < leftBands.count) {
    leftBands.section[next]->ProcessBlock(left.Data(), count);
    rightBands.section[next]->ProcessBlock(right.Data(), count);
  }
  return ResetNonFinite(leftBands) & ResetNonFinite(rightBands);
}

}  // namespace engine
