#include <gtest/gtest.h>

#include "effects_support.h"
#include "engine/equalizer_bank.h"

using namespace engine;
using namespace effects_test;

namespace {

double PeakDb(CEqualizerBank& bank, double hz, double amplitude) {
  CSignalBuffer buffer(4410);
  double peak = 0.0;
  for (int block = 0; block < 4; ++block) {
    FillSine(buffer, 4410, hz, 44100, amplitude, block * 4410LL);
    bank.Run(buffer, 0);
    if (block == 3)
      for (int i = 0; i < 4410; ++i) peak = std::max(peak, buffer[i]);
  }
  return 20.0 * std::log10(peak / amplitude);
}

}  // namespace

TEST(EqualizerBank, BandsAboveWhatTheRateCarriesAreSwitchedOffOrIdentities) {
  ProcessingParameters p;
  CEqualizerBank bank(p.equalizer);
  for (int band = 0; band < kBandCount; ++band) p.SetEqualizerBandGain(band, 6.0, 0);
  bank.FollowSampleRate(8000);
  for (int ch = 0; ch < kChannels; ++ch) EXPECT_FALSE(p.equalizer.bands[BandIndex(7, ch)].enabled);
  RunConstant(bank, 0, 64, 0.0);
  EXPECT_TRUE(bank.Section(6, 0).IsIdentity());   // 6300 Hz is above 4000 Hz
  EXPECT_FALSE(bank.Section(5, 0).IsIdentity());  // 2500 Hz is a real band
  bank.FollowSampleRate(44100);
  for (const EqualizerBand& record : p.equalizer.bands) EXPECT_TRUE(record.enabled);
}

// A panel holding the lock while it writes: the audio path does not wait for it but keeps the old
// design and the band dirty until the lock is free.
TEST(EqualizerBank, BandGainsShapeTheSoundOnceTheLockIsFreeAndTheLastWriteWins) {
  ProcessingParameters p;
  CEqualizerBank bank(p.equalizer);
  bank.FollowSampleRate(44100);
  EXPECT_NEAR(PeakDb(bank, 1000, 0.25), 0.0, 1e-3);
  p.SetEqualizerBandGain(4, 12.0, 0);
  p.SetEqualizerBandGain(4, 6.0, 0);
  {
    LockHolder panel(p.equalizer.lock);
    EXPECT_NEAR(PeakDb(bank, 1000, 0.25), 0.0, 1e-3);
    EXPECT_TRUE(p.equalizer.bands[BandIndex(4, 0)].dirty);
  }
  EXPECT_NEAR(PeakDb(bank, 1000, 0.25), 6.0, 0.02);
  EXPECT_FALSE(p.equalizer.bands[BandIndex(4, 0)].dirty);
  p.equalizer.bands[BandIndex(4, 0)].enabled = 0;
  EXPECT_NEAR(PeakDb(bank, 1000, 0.25), 0.0, 0.01) << "a disabled band is skipped";
}
