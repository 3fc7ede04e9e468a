#include "engine/compressor.h"

#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"

using namespace engine;
using namespace effects_test;

namespace {

// A compressor running at `rate` with both channels set alike.
struct TestCompressor {
  ProcessingParameters p;
  CCompressor compressor{p.compressor};
  TestCompressor(int thresholdDbSpl, double ratio, double attack, double release, int centerDbSpl, int rate = 44100) {
    for (int ch = 0; ch < kChannels; ++ch)
      p.SetCompressorChannel(thresholdDbSpl, ratio, attack, release, centerDbSpl, ch);
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

// The envelope on audio, with short and long times, and the curve at a ratio of 30 are held to their plain
// description by envelope_reference_test.cpp.
