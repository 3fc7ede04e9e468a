#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "effects_support.h"
#include "engine/channel_chain.h"
#include "engine/equalizer_bank.h"

using namespace engine;
using namespace effects_test;

namespace {

// Holds equalizerLock on another thread, as a panel does while it writes, until released.
class LockHolder {
 public:
  explicit LockHolder(platform::CriticalSection& lock) {
    worker_ = std::thread([this, &lock] {
      lock.Enter();
      held_ = true;
      while (!release_) std::this_thread::yield();
      lock.Leave();
    });
    while (!held_) std::this_thread::yield();
  }
  ~LockHolder() {
    release_ = true;
    worker_.join();
  }

 private:
  std::atomic<bool> held_{false};
  std::atomic<bool> release_{false};
  std::thread worker_;
};

}  // namespace

TEST(EqualizerSampleRate, NewRateMarksEveryBandDirtyAndDisablesThoseAtTwiceTheRate) {
  ProcessingParameters p;
  CEqualizerBank bank(p.equalizer);
  bank.FollowSampleRate(8000);
  EXPECT_EQ(bank.SampleRate(), 8000);
  for (int band = 0; band < kBandCount; ++band)
    for (int ch = 0; ch < kChannels; ++ch) {
      const EqualizerBand& record = p.equalizer.bands[BandIndex(band, ch)];
      EXPECT_TRUE(record.dirty);
      EXPECT_EQ(record.enabled != 0, band != 7) << "band " << band << " channel " << ch;
    }

  // Back at 44100 every band is enabled again.
  bank.FollowSampleRate(44100);
  for (const EqualizerBand& record : p.equalizer.bands) EXPECT_TRUE(record.enabled);

  // The same rate again changes nothing: a cleared flag stays clear.
  p.equalizer.bands[0].dirty = 0;
  bank.FollowSampleRate(44100);
  EXPECT_FALSE(p.equalizer.bands[0].dirty);
}

TEST(EqualizerSampleRate, BandsAtOrAboveHalfTheRateDesignAsIdentities) {
  ProcessingParameters p;
  CEqualizerBank bank(p.equalizer);
  for (int band = 0; band < kBandCount; ++band) p.SetEqualizerBandGain(band, 6.0, 0);
  bank.FollowSampleRate(8000);
  CSignalBuffer buffer(64);
  FillSine(buffer, 64, 440, 8000, 0.5);
  bank.Run(buffer, 0);
  EXPECT_TRUE(bank.Section(6, 0).IsIdentity());   // 6300 Hz is above 4000 Hz
  EXPECT_TRUE(bank.Section(7, 0).IsIdentity());   // and 16000 Hz
  EXPECT_FALSE(bank.Section(5, 0).IsIdentity());  // 2500 Hz is a real band
  for (int band = 0; band < kBandCount; ++band) EXPECT_FALSE(p.equalizer.bands[BandIndex(band, 0)].dirty);
  // The right channel was not run, so its bands are still waiting.
  EXPECT_TRUE(p.equalizer.bands[BandIndex(0, 1)].dirty);
}

TEST(EqualizerBank, DefaultGainsAreTransparent) {
  ProcessingParameters p;
  CEqualizerBank bank(p.equalizer);
  bank.FollowSampleRate(44100);
  const auto noise = Noise(4096, 0.9, 2);
  const auto out = RunSamples(bank, 1, noise);
  // The 25 Hz band's poles sit close to the unit circle, so rounding builds up a little over a block.
  for (int i = 0; i < 4096; ++i) EXPECT_NEAR(out[i], noise[i], 1e-9);
}

TEST(EqualizerBank, SixDbBandDoublesASineAtItsCentre) {
  ProcessingParameters p;
  NeutralSettings(p);
  CChannelChain chain(p);
  p.SetEqualizerBandGain(4, 6.0, 0);
  chain.FollowSampleRate(44100);
  CSignalBuffer buffer(4410);
  double peak = 0.0;
  for (int block = 0; block < 5; ++block) {
    FillSine(buffer, 4410, 1000, 44100, 0.25, block * 4410LL);
    chain.Process(buffer, 0, 1);
    if (block == 4)
      for (int i = 0; i < 4410; ++i) peak = std::max(peak, buffer[i]);
  }
  EXPECT_NEAR(20.0 * std::log10(peak / 0.25), 6.0, 0.02);
}

TEST(EqualizerBank, OnlyTheLastOfTwoWritesTakesEffect) {
  ProcessingParameters p;
  CEqualizerBank bank(p.equalizer);
  bank.FollowSampleRate(44100);
  p.SetEqualizerBandGain(2, 12.0, 1);
  p.SetEqualizerBandGain(2, -4.0, 1);
  CSignalBuffer buffer(16);
  FillConstant(buffer, 16, 0.0);
  bank.Run(buffer, 1);
  CBiquad expected;
  expected.DesignPeaking(44100, 160, -4.0, 0.5);
  EXPECT_EQ(bank.Section(2, 1).B0(), expected.B0());
  EXPECT_EQ(bank.Section(2, 1).A2(), expected.A2());
  EXPECT_FALSE(p.equalizer.bands[BandIndex(2, 1)].dirty);
  // The left channel's band 2 is a separate record, still at 0 dB.
  bank.Run(buffer, 0);
  EXPECT_NEAR(bank.Section(2, 0).B0(), 1.0, 1e-15);
}

TEST(EqualizerBank, BusyLockKeepsTheOldCoefficientsAndTheBandDirty) {
  ProcessingParameters p;
  NeutralSettings(p);
  CChannelChain chain(p);
  chain.FollowSampleRate(44100);
  CSignalBuffer buffer(4410);
  FillSine(buffer, 4410, 1000, 44100, 0.25);
  chain.Process(buffer, 0, 2);  // designs every band at 0 dB
  const double oldB0 = chain.Equalizer().Section(4, 0).B0();

  p.SetEqualizerBandGain(4, 6.0, 0);
  {
    LockHolder panel(p.equalizer.lock);
    FillSine(buffer, 4410, 1000, 44100, 0.25, 4410);
    chain.Process(buffer, 0, 2);
    EXPECT_EQ(chain.Equalizer().Section(4, 0).B0(), oldB0);
    EXPECT_TRUE(p.equalizer.bands[BandIndex(4, 0)].dirty);
    double peak = 0.0;
    for (int i = 0; i < 4410; ++i) peak = std::max(peak, buffer[i]);
    EXPECT_NEAR(peak, 0.25, 1e-3);  // still unboosted
  }
  FillSine(buffer, 4410, 1000, 44100, 0.25, 8820);
  chain.Process(buffer, 0, 2);
  EXPECT_FALSE(p.equalizer.bands[BandIndex(4, 0)].dirty);
  EXPECT_NE(chain.Equalizer().Section(4, 0).B0(), oldB0);
}

TEST(EqualizerBank, DisabledBandIsSkippedEvenIfItsSectionIsNotAnIdentity) {
  ProcessingParameters p;
  CEqualizerBank bank(p.equalizer);
  bank.FollowSampleRate(44100);
  p.SetEqualizerBandGain(5, 10.0, 0);
  RunConstant(bank, 0, 8, 0.0);
  p.equalizer.bands[BandIndex(5, 0)].enabled = 0;
  const auto noise = Noise(512, 0.5);
  const auto out = RunSamples(bank, 0, noise);
  for (int i = 0; i < 512; ++i) EXPECT_NEAR(out[i], noise[i], 1e-12);
}
