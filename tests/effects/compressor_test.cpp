#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"
#include "engine/compressor.h"

using namespace engine;
using namespace effects_test;

namespace {

// A compressor running at `rate` with both channels set alike.
struct TestCompressor {
  ProcessingParameters p;
  CCompressor compressor{p.compressor};
  TestCompressor(int thresholdDbSpl, double ratio, double attack, double release, int centerDbSpl, int rate = 44100) {
    for (int ch = 0; ch < kChannels; ++ch) p.SetCompressorChannel(thresholdDbSpl, ratio, attack, release, centerDbSpl, ch);
    compressor.FollowSampleRate(rate);
  }
  // The gain a steady level gets from silence on, with an instant attack: the envelope is the level at once.
  double SteadyGainDb(double level) {
    compressor.Reset();
    return 20.0 * std::log10(RunConstant(compressor, 0, 64, level) / level);
  }
};

}  // namespace

// T = 60 dB SPL (-1.8), P = 70 dB SPL (-1.3), R = 2: -1.1 comes out at -1.3 + 0.2 / 2 = -1.2; -2.5 at
// -2.5 - 0.25 + 0.5 = -2.25, as every level below T. The records' values act without a redesign.
TEST(CompressorCurve, WorkedExamplesAboveAndBelowTheThresholdAndAtTheCentre) {
  TestCompressor c(60, 2.0, 0.0, 0.01, 70);
  for (auto [level, gain] : {std::pair{-1.1, -2.0}, {-2.5, 5.0}, {-4.0, 5.0}, {-1.3, 0.0}})
    EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, level)), gain, 1e-9) << level;
  c.p.compressor.channel[0].rate = 1.0;
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -1.1)), 0.0, 1e-9);
  c.p.compressor.channel[0].rate = 2.0;
  c.p.compressor.channel[0].center = -1.1;
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -1.1)), 0.0, 1e-9);
}

// (A ratio of one is transparent above; the writer holds ratios below the panel's range to one.)
TEST(CompressorCurve, RatioThirtyHoldsEveryLevelAboveTheThresholdAtTheThreshold) {
  TestCompressor flat(40, 30.0, 0.0, 0.01, 60);
  for (double level : {0.02, 0.1, 0.5, 1.0})
    EXPECT_NEAR(level * std::pow(10.0, flat.SteadyGainDb(level) / 20), std::pow(10.0, -1.8), 1e-12) << level;
}

TEST(CompressorSafety, UnwrittenBlockPassesTheSignalAndSilenceStaysSilent) {
  ProcessingParameters p;  // every compressor value still 0: a ratio of 0 leaves the curve undefined
  CCompressor compressor(p.compressor);
  compressor.FollowSampleRate(44100);
  const auto noise = Noise(2048, 1.0, 6);
  EXPECT_EQ(RunSamples(compressor, 0, noise), noise);
  p.SetCompressorChannel(40, 4.0, 0.01, 0.1, 60, 1);
  EXPECT_EQ(RunSamples(compressor, 1, std::vector<double>(1000, 0.0)), std::vector<double>(1000, 0.0));
  EXPECT_EQ(compressor.Envelope(1), 0.0);
}

TEST(CompressorSafety, RingingEnvelopeBelowZeroNeverMakesNaN) {
  // A release of 50 us (below the panel's range, so set on the record) puts the smoother at 20 kHz, close
  // to half of 44.1 kHz, where it rings: after a burst the envelope swings below zero. Those samples have
  // no level and pass unchanged.
  TestCompressor c(60, 2.0, 0.0, 0.01, 70);
  c.p.compressor.times[0].release = 0.00005;
  c.p.compressor.channel[0].dirty = 1;
  bool wentNegative = false;
  for (int i = 0; i < 400; ++i) {
    const double x = (i / 20) % 2 == 0 ? 0.9 * ((i % 3) - 1) : 0.01 * ((i % 2) ? 1 : -1);
    const double y = RunConstant(c.compressor, 0, 1, x);
    ASSERT_TRUE(std::isfinite(y)) << i;
    if (c.compressor.Envelope(0) < 0.0) {
      wentNegative = true;
      EXPECT_EQ(y, x);
    }
  }
  EXPECT_TRUE(wentNegative);
}

// trunc(1 / t) is 0 Hz for a time above 1 s: such a smoother would hold the envelope up for ever, and the
// compressor would keep its gain of the loudest moment. Through the writer the time is held to 1 s; set
// on the record past it, the smoother still gets 1 Hz. (The limiter shares the envelope follower, and its
// writer holds its times the same way: the chain's test.)
TEST(CompressorSmoothers, LongReleaseStillReleases) {
  TestCompressor c(60, 2.0, 0.001, 5.0, 70);
  c.p.compressor.times[1].release = 30.0;
  for (int ch = 0; ch < 2; ++ch) {
    RunConstant(c.compressor, ch, 4410, 0.5);
    RunConstant(c.compressor, ch, 88200, 0.001);
    EXPECT_LT(c.compressor.Envelope(ch), 0.01) << ch;
  }
}

// The envelope rises through the attack smoother (10 ms: 100 Hz, critically damped, 36 % of a step after
// 2 ms) and falls from where it is through the release smoother, without a step.
TEST(CompressorSmoothers, AttackRisesAtItsPaceAndReleaseContinuesFromTheEnvelope) {
  TestCompressor c(60, 1.0, 0.01, 0.1, 70);
  RunConstant(c.compressor, 0, 88, 1.0);
  EXPECT_NEAR(c.compressor.Envelope(0), 0.36, 0.05);
  RunConstant(c.compressor, 0, 4410, 1.0);
  EXPECT_NEAR(c.compressor.Envelope(0), 1.0, 1e-6);
  RunConstant(c.compressor, 0, 1, 0.5);
  EXPECT_GT(c.compressor.Envelope(0), 0.999);  // falling slowly from 1.0, not restarting from 0
  EXPECT_LT(c.compressor.Envelope(0), 1.0);
}
