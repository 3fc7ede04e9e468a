#include "engine/equalizer_bank.h"

#include <gtest/gtest.h>

#include "effects_support.h"

using namespace engine;
using namespace effects_test;

namespace {

// The gain of channel 0 for a sine of `hz` at `rate`: the power ratio over the second half of a second.
double GainDb(CEqualizerBank& bank, double hz, int rate) {
  const int block = rate / 10;
  CSignalBuffer buffer;
  double in = 0.0, out = 0.0;
  for (int b = 0; b < 10; ++b) {
    const auto sine = Sine(block, hz, rate, 0.25, b * (long long)block);
    Load(buffer, sine);
    bank.Run(buffer, 0);
    for (int i = 0; b >= 5 && i < block; ++i) in += sine[i] * sine[i], out += buffer[i] * buffer[i];
  }
  return 10.0 * std::log10(out / in);
}

}  // namespace

// After a change of rate (as a format report makes it: new rate, filters restarted) a band gives its gain
// at its frequency, also a band that the old rate could not carry (switched off or an identity); and at
// the old rate, a band at or above half of it leaves the sound alone.
TEST(EqualizerBank, BandsGiveTheirGainAtTheirFrequencyAfterAChangeOfRate) {
  const struct {
    int band;
    double gain;
    int from, to;
  } cases[] = {{4, 12.0, 44100, 96000}, {0, -9.0, 44100, 96000}, {7, 12.0, 96000, 44100},
               {6, 6.0, 8000, 48000},   {7, -12.0, 8000, 48000}, {7, 12.0, 32000, 44100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "band " << c.band << ", " << c.from << " -> " << c.to << " Hz");
    ProcessingParameters p;
    CEqualizerBank bank(p.equalizer);
    p.SetEqualizerBandGain(c.band, c.gain, 0);
    bank.FollowSampleRate(c.from);
    EXPECT_NEAR(GainDb(bank, 1000, c.from), c.band == 4 ? c.gain : 0.0, 0.1);
    bank.FollowSampleRate(c.to);
    bank.Reset();
    EXPECT_NEAR(GainDb(bank, kBandFrequencies[c.band], c.to), c.gain, 0.1);
  }
}

// A panel holding the lock while it writes: the audio path does not wait for it but keeps the old
// design and the band dirty until the lock is free.
TEST(EqualizerBank, BandGainsShapeTheSoundOnceTheLockIsFreeAndTheLastWriteWins) {
  ProcessingParameters p;
  CEqualizerBank bank(p.equalizer);
  bank.FollowSampleRate(44100);
  p.SetEqualizerBandGain(4, 12.0, 0);
  p.SetEqualizerBandGain(4, 6.0, 0);
  {
    LockHolder panel(p.equalizer.lock);
    EXPECT_NEAR(GainDb(bank, 1000, 44100), 0.0, 1e-3);
    EXPECT_TRUE(p.equalizer.bands[BandIndex(4, 0)].dirty);
  }
  EXPECT_NEAR(GainDb(bank, 1000, 44100), 6.0, 0.02);
  EXPECT_FALSE(p.equalizer.bands[BandIndex(4, 0)].dirty);
  p.equalizer.bands[BandIndex(4, 0)].enabled = 0;
  EXPECT_NEAR(GainDb(bank, 1000, 44100), 0.0, 0.01) << "a disabled band is skipped";
}
