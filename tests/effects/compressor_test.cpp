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
};

// A compressor whose smoothers are identities (attack and release 0), so a steady input is its own
// envelope from the first sample.
struct InstantCompressor : TestCompressor {
  InstantCompressor(int thresholdDbSpl, double ratio, int centerDbSpl, int rate = 44100)
      : TestCompressor(thresholdDbSpl, ratio, 0.0, 0.0, centerDbSpl, rate) {}
  double Gain(double level, int channel = 0) { return RunConstant(compressor, channel, 32, level) / level; }
};

// The curve applied exactly as written, per sample: log10 of the envelope, the output level, and
// x * 10^out / envelope, with the envelope detector built from plain sections.
std::vector<double> Reference(const std::vector<double>& in, double t, double p, double r, double attack,
                              double release, int rate, std::vector<double>* envelopes) {
  CBiquad up, down;
  up.DesignLowPass(rate, std::trunc(1.0 / std::max(attack, 0.00001)), 0.5);
  down.DesignLowPass(rate, std::trunc(1.0 / std::max(release, 0.00001)), 0.5);
  double e = 0.0;
  std::vector<double> out;
  for (double x : in) {
    const double m = std::fabs(x);
    if (m > e) {
      e = up.Process(m);
      down.HoldAt(e);
    } else {
      e = down.Process(m);
      up.HoldAt(e);
    }
    envelopes->push_back(e);
    if (!(e > 0.0)) {  // silence, or a ringing smoother below zero: no level, sample unchanged
      out.push_back(x);
      continue;
    }
    const double level = std::log10(e);
    double o;
    if (level < t)
      o = level + (t - p) / r + p - t;
    else if (r < 30)
      o = p + (level - p) / r;
    else
      o = p;
    out.push_back(x * std::pow(10.0, o) / e);
  }
  return out;
}

}  // namespace

TEST(CompressorCurve, WorkedExamplesAboveAndBelowTheThreshold) {
  // T = 76 dB SPL (-1.0), P = 86 dB SPL (-0.5), R = 2.
  InstantCompressor c(76, 2.0, 86);
  EXPECT_DOUBLE_EQ(c.p.compressor.channel[0].threshold, -1.0);
  EXPECT_DOUBLE_EQ(c.p.compressor.channel[0].center, -0.5);
  EXPECT_NEAR(20.0 * std::log10(c.Gain(std::pow(10.0, -0.3))), -2.0, 1e-9);
  EXPECT_NEAR(20.0 * std::log10(c.Gain(std::pow(10.0, -2.0))), 5.0, 1e-9);
  // Below the threshold the gain is the same at every level.
  EXPECT_NEAR(20.0 * std::log10(c.Gain(std::pow(10.0, -4.0))), 5.0, 1e-9);
  // The centre passes with unity gain.
  EXPECT_NEAR(c.Gain(std::pow(10.0, -0.5)), 1.0, 1e-12);
  EXPECT_DOUBLE_EQ(CCompressor::OutputLevel(-0.3, -1.0, -0.5, 2.0), -0.4);
  EXPECT_DOUBLE_EQ(CCompressor::OutputLevel(-2.0, -1.0, -0.5, 2.0), -1.75);
}

TEST(CompressorCurve, RatioOneIsTransparent) {
  TestCompressor c(40, 1.0, 0.005, 0.2, 90, 48000);
  const auto noise = Noise(9600, 1.0, 4);
  const auto out = RunSamples(c.compressor, 1, noise);
  for (int i = 0; i < 9600; ++i) EXPECT_NEAR(out[i], noise[i], 1e-12 * std::fabs(noise[i]) + 1e-300);
}

TEST(CompressorCurve, RatioThirtyAndAboveIsFlatAboveTheThreshold) {
  for (double ratio : {30.0, 45.0}) {
    InstantCompressor c(60, ratio, 80);
    const double centre = std::pow(10.0, (80 - 96) * 0.05);
    for (double level : {0.02, 0.1, 0.5, 1.0}) EXPECT_NEAR(level * c.Gain(level), centre, 1e-12) << level;
  }
  // Just under 30 the output still rises, slowly.
  InstantCompressor c(60, 29.0, 80);
  EXPECT_LT(0.1 * c.Gain(0.1), 1.0 * c.Gain(1.0));
}

TEST(CompressorCurve, RearrangedGainMatchesTheCurveAsWritten) {
  struct Case {
    int threshold;
    double ratio;
    int center;
    double attack, release;
  };
  const Case cases[] = {{76, 2.0, 86, 0.01, 0.1},    {60, 4.0, 90, 0.001, 0.5},  {80, 0.5, 70, 0.02, 0.05},
                        {50, 29.99, 85, 0.0, 0.3},   {70, 30.0, 80, 0.005, 0.0}, {90, 100.0, 60, 0.01, 0.2},
                        {85, 1.5, 85, 0.00005, 0.3}, {30, 8.0, 96, 0.1, 1.0}};
  const int rate = 44100;
  auto input = Noise(20000, 1.0, 9);
  for (int i = 0; i < 20000; ++i) input[i] *= 0.5 + 0.5 * std::sin(i * 0.001);  // sweep the level
  for (const Case& k : cases) {
    TestCompressor c(k.threshold, k.ratio, k.attack, k.release, k.center, rate);
    std::vector<double> envelopes;
    const auto expected = Reference(input, c.p.compressor.channel[0].threshold, c.p.compressor.channel[0].center,
                                    k.ratio, k.attack, k.release, rate, &envelopes);
    CSignalBuffer buffer(5000);
    for (int start = 0; start < 20000; start += 5000) {
      buffer.Resize(5000);
      for (int i = 0; i < 5000; ++i) buffer[i] = input[start + i];
      c.compressor.Run(buffer, 0);
      for (int i = 0; i < 5000; ++i) {
        const double want = expected[start + i];
        ASSERT_NEAR(buffer[i], want, 1e-9 * std::fabs(want) + 1e-300)
            << "threshold " << k.threshold << " ratio " << k.ratio << " sample " << start + i;
      }
      EXPECT_EQ(c.compressor.Envelope(0), envelopes[start + 4999]);
    }
  }
}

TEST(CompressorCurve, ThresholdCenterAndRatioActWithoutARedesign) {
  InstantCompressor c(76, 2.0, 86);
  EXPECT_NEAR(20.0 * std::log10(c.Gain(std::pow(10.0, -0.3))), -2.0, 1e-9);
  // The panel's values are read for every sample; even while the lock is taken nothing waits for it.
  c.p.compressor.channel[0].rate = 1.0;
  EXPECT_NEAR(c.Gain(std::pow(10.0, -0.3)), 1.0, 1e-12);
  c.p.compressor.channel[0].rate = 2.0;
  c.p.compressor.channel[0].center = -0.3;
  EXPECT_NEAR(c.Gain(std::pow(10.0, -0.3)), 1.0, 1e-12);
}

TEST(CompressorSafety, UnwrittenBlockWithRatioZeroPassesTheSignal) {
  ProcessingParameters p;  // every compressor value still 0
  CCompressor compressor(p.compressor);
  compressor.FollowSampleRate(44100);
  const auto noise = Noise(2048, 1.0, 6);
  for (double rate : {0.0, -3.0}) {
    p.compressor.channel[0].rate = rate;
    const auto out = RunSamples(compressor, 0, noise);
    for (int i = 0; i < 2048; ++i) EXPECT_EQ(out[i], noise[i]) << rate;
  }
  // A working curve first, then a ratio of 0 with a real threshold and centre: still transparent.
  p.SetCompressorChannel(70, 2.0, 0.001, 0.1, 86, 0);
  const auto compressed = RunSamples(compressor, 0, noise);
  EXPECT_NE(compressed, noise);
  p.SetCompressorChannel(70, 0.0, 0.001, 0.1, 86, 0);
  const auto out = RunSamples(compressor, 0, noise);
  for (int i = 0; i < 2048; ++i) ASSERT_EQ(out[i], noise[i]) << i;
}

TEST(CompressorSafety, DigitalSilenceStaysSilent) {
  InstantCompressor c(76, 4.0, 86);
  c.p.SetCompressorChannel(76, 4.0, 0.01, 0.1, 86, 1);
  const auto out = RunSamples(c.compressor, 1, std::vector<double>(1000, 0.0));
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(out[i], 0.0);
  EXPECT_EQ(c.compressor.Envelope(1), 0.0);
}

TEST(CompressorSafety, RingingEnvelopeBelowZeroNeverMakesNaN) {
  // A release time of 50 us puts the smoother at 20 kHz, close to half of 44.1 kHz, where it rings: after
  // a burst the envelope swings below zero. Those samples have no level and pass unchanged.
  TestCompressor c(76, 2.0, 0.0, 0.00005, 86);
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

TEST(CompressorSmoothers, TimesBecomeCriticallyDampedLowPassCutoffs) {
  ProcessingParameters p;
  CCompressor compressor(p.compressor);
  p.SetCompressorChannel(76, 2.0, 0.01, 0.3, 86, 0);
  p.SetCompressorChannel(76, 2.0, 0.0, -1.0, 86, 1);
  compressor.FollowSampleRate(44100);
  RunConstant(compressor, 0, 4, 0.0);
  RunConstant(compressor, 1, 4, 0.0);
  EXPECT_EQ(compressor.Follower(0).attack.frequency, 100.0);
  EXPECT_EQ(compressor.Follower(0).release.frequency, 3.0);  // trunc(3.33)
  EXPECT_EQ(compressor.Follower(0).attack.q, 0.5);
  EXPECT_EQ(compressor.Follower(0).attack.kind, CBiquad::kLowPass);
  // 0 and negative times become 10 us, i.e. 100 kHz: above half of any rate, so the identity.
  EXPECT_EQ(compressor.Follower(1).attack.frequency, 99999.0);  // 1 / 1e-5 lands just below 100000
  EXPECT_TRUE(compressor.Follower(1).attack.IsIdentity());
  EXPECT_TRUE(compressor.Follower(1).release.IsIdentity());
  // A time that is not a number is the minimum too, not a filter full of NaN.
  p.SetCompressorChannel(76, 2.0, std::nan(""), 0.3, 86, 1);
  RunConstant(compressor, 1, 4, 0.0);
  EXPECT_TRUE(compressor.Follower(1).attack.IsIdentity());
  EXPECT_FALSE(p.compressor.channel[0].dirty);
  // A new rate redesigns both channels on their next block.
  compressor.FollowSampleRate(48000);
  EXPECT_TRUE(p.compressor.channel[0].dirty);
  EXPECT_TRUE(p.compressor.channel[1].dirty);
}

TEST(CompressorSmoothers, ReleaseContinuesFromTheEnvelopeWithoutAStep) {
  TestCompressor c(76, 1.0, 0.0, 0.1, 86);
  RunConstant(c.compressor, 0, 100, 1.0);
  EXPECT_EQ(c.compressor.Envelope(0), 1.0);
  RunConstant(c.compressor, 0, 1, 0.5);
  // Falling slowly from 1.0, not restarting from 0.
  EXPECT_GT(c.compressor.Envelope(0), 0.999);
  EXPECT_LT(c.compressor.Envelope(0), 1.0);
}

TEST(CompressorSmoothers, ResetStartsFromZero) {
  TestCompressor c(76, 2.0, 0.01, 0.1, 86);
  RunConstant(c.compressor, 0, 500, 0.7);
  EXPECT_GT(c.compressor.Envelope(0), 0.1);
  c.compressor.Reset();
  EXPECT_EQ(c.compressor.Envelope(0), 0.0);
  EXPECT_FALSE(c.compressor.Follower(0).attack.Primed());
  EXPECT_FALSE(c.compressor.Follower(0).release.Primed());
}
