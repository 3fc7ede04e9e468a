#include "engine/compressor.h"

#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"

using namespace engine;
using namespace effects_test;

// An unwritten block (every value 0: a ratio of 0 leaves the curve undefined) passes the signal, and silence
// stays silent. T = 60 dB SPL (-1.8), P = 70 dB SPL (-1.3), R = 2: a steady -1.1 comes out at
// -1.3 + 0.2 / 2 = -1.2; a change of R or P on the record acts at the next block, without a redesign.
TEST(Compressor, UnwrittenBlockPassesSilenceStaysSilentAndRecordChangesActAtTheNextBlock) {
  ProcessingParameters p;
  CCompressor compressor(p.compressor);
  compressor.FollowSampleRate(44100);
  const auto noise = Noise(2048, 1.0, 6);
  EXPECT_EQ(RunSamples(compressor, 0, noise), noise);
  p.SetCompressorChannel(40, 4.0, 0.01, 0.1, 60, 1);
  EXPECT_EQ(RunSamples(compressor, 1, std::vector<double>(1000, 0.0)), std::vector<double>(1000, 0.0));
  EXPECT_EQ(compressor.Envelope(1), 0.0);
  p.SetCompressorChannel(60, 2.0, 0.0, 0.01, 70, 1);
  const double level = std::pow(10.0, -1.1);
  EXPECT_NEAR(RunConstant(compressor, 1, 64, level), std::pow(10.0, -1.2), 1e-12);
  p.compressor.channel[1].rate = 1.0;
  EXPECT_NEAR(RunConstant(compressor, 1, 64, level), level, 1e-12);
  p.compressor.channel[1].rate = 2.0;
  p.compressor.channel[1].center = -1.1;
  EXPECT_NEAR(RunConstant(compressor, 1, 64, level), level, 1e-12);
}

// The envelope on audio, with short and long times, and the whole curve (below the threshold, at a ratio of
// 30) are held to their plain description by envelope_reference_test.cpp.
