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

// The curve applied exactly as written, per sample: log10 of the envelope, the output level, and
// x * 10^out / envelope, with the envelope detector built from plain sections.
std::vector<double> Reference(const std::vector<double>& in, const CompressorChannel& record, int rate,
                              std::vector<double>* envelopes) {
  const double t = record.threshold, p = record.center, r = record.rate;
  CBiquad up, down;
  up.DesignLowPass(rate, std::trunc(1.0 / std::max(record.attack, 0.00001)), 0.5);
  down.DesignLowPass(rate, std::trunc(1.0 / std::max(record.release, 0.00001)), 0.5);
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
    const double o = level < t ? level + (t - p) / r + p - t : r < 30 ? p + (level - p) / r : p;
    out.push_back(x * std::pow(10.0, o) / e);
  }
  return out;
}

}  // namespace

TEST(CompressorCurve, WorkedExamplesAboveAndBelowTheThresholdAndAtTheCentre) {
  // T = 60 dB SPL (-1.8), P = 70 dB SPL (-1.3), R = 2.
  TestCompressor c(60, 2.0, 0.0, 0.01, 70);
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -1.1)), -2.0, 1e-9);  // -1.3 + 0.2 / 2 = -1.2
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -2.5)), 5.0, 1e-9);   // -2.5 - 0.25 + 0.5 = -2.25
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -4.0)), 5.0, 1e-9);   // the same at every level below T
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -1.3)), 0.0, 1e-9);
  EXPECT_DOUBLE_EQ(CCompressor::OutputLevel(-1.1, -1.8, -1.3, 2.0), -1.2);
}

TEST(CompressorCurve, RatioOneOrBelowIsTransparentAndThirtyIsFlat) {
  for (double ratio : {1.0, -2.0, 0.5}) {  // the writer holds what is below the panel's range to 1
    TestCompressor c(30, ratio, 0.005, 0.2, 70, 48000);
    const auto noise = Noise(9600, 1.0, 4);
    const auto out = RunSamples(c.compressor, 1, noise);
    for (int i = 0; i < 9600; ++i) ASSERT_NEAR(out[i], noise[i], 1e-12 * std::fabs(noise[i]) + 1e-300) << ratio;
  }
  TestCompressor flat(40, 30.0, 0.0, 0.01, 60);
  for (double level : {0.02, 0.1, 0.5, 1.0})
    EXPECT_NEAR(level * std::pow(10.0, flat.SteadyGainDb(level) / 20), std::pow(10.0, -1.8), 1e-12) << level;
}

TEST(CompressorCurve, RearrangedGainMatchesTheCurveAsWritten) {
  struct Case {
    int threshold;
    double ratio;
    int center;
    double attack, release;
  } const cases[] = {{60, 2.0, 70, 0.01, 0.1},  {40, 4.0, 66, 0.001, 0.5}, {50, 29.99, 65, 0.0, 0.3},
                     {55, 30.0, 60, 0.005, 0.01}, {30, 1.5, 70, 0.00005, 1.0}, {0, 8.0, 50, 0.1, 0.2}};
  auto input = Noise(20000, 1.0, 9);
  for (int i = 0; i < 20000; ++i) input[i] *= 0.5 + 0.5 * std::sin(i * 0.001);  // sweep the level
  for (const Case& k : cases) {
    TestCompressor c(k.threshold, k.ratio, k.attack, k.release, k.center);
    std::vector<double> envelopes;
    const auto expected = Reference(input, c.p.compressor.channel[0], 44100, &envelopes);
    CSignalBuffer buffer(5000);
    for (int start = 0; start < 20000; start += 5000) {
      Load(buffer, std::vector<double>(input.begin() + start, input.begin() + start + 5000));
      c.compressor.Run(buffer, 0);
      for (int i = 0; i < 5000; ++i)
        ASSERT_NEAR(buffer[i], expected[start + i], 1e-9 * std::fabs(expected[start + i]) + 1e-300)
            << "threshold " << k.threshold << " ratio " << k.ratio << " sample " << start + i;
      EXPECT_EQ(c.compressor.Envelope(0), envelopes[start + 4999]);
    }
  }
}

TEST(CompressorCurve, ThresholdCenterAndRatioActWithoutARedesign) {
  TestCompressor c(60, 2.0, 0.0, 0.01, 70);
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -1.1)), -2.0, 1e-9);
  c.p.compressor.channel[0].rate = 1.0;
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -1.1)), 0.0, 1e-9);
  c.p.compressor.channel[0].rate = 2.0;
  c.p.compressor.channel[0].center = -1.1;
  EXPECT_NEAR(c.SteadyGainDb(std::pow(10.0, -1.1)), 0.0, 1e-9);
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
  c.p.compressor.channel[0].release = 0.00005;
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
// on the record past it, the smoother still gets 1 Hz.
TEST(CompressorSmoothers, LongReleaseStillReleases) {
  TestCompressor c(60, 2.0, 0.001, 5.0, 70);
  c.p.compressor.channel[1].release = 30.0;
  for (int ch = 0; ch < 2; ++ch) {
    RunConstant(c.compressor, ch, 4410, 0.5);
    RunConstant(c.compressor, ch, 88200, 0.001);
    EXPECT_LT(c.compressor.Envelope(ch), 0.01) << ch;
  }
}

TEST(CompressorSmoothers, ReleaseContinuesFromTheEnvelopeWithoutAStep) {
  TestCompressor c(60, 1.0, 0.0, 0.1, 70);
  RunConstant(c.compressor, 0, 100, 1.0);
  EXPECT_EQ(c.compressor.Envelope(0), 1.0);
  RunConstant(c.compressor, 0, 1, 0.5);
  EXPECT_GT(c.compressor.Envelope(0), 0.999);  // falling slowly from 1.0, not restarting from 0
  EXPECT_LT(c.compressor.Envelope(0), 1.0);
}
