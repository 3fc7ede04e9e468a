#include "engine/biquad.h"

#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"

using engine::CBiquad;
using namespace effects_test;

namespace {

// The frequency between lo and hi where the response crosses `targetDb` (response monotonic there).
double Crossing(const CBiquad& s, double rate, double lo, double hi, double targetDb) {
  const bool risingWithFrequency = ResponseDb(s, hi, rate) > ResponseDb(s, lo, rate);
  for (int i = 0; i < 200; ++i) {
    const double mid = std::sqrt(lo * hi);
    if ((ResponseDb(s, mid, rate) > targetDb) == risingWithFrequency)
      hi = mid;
    else
      lo = mid;
  }
  return std::sqrt(lo * hi);
}

// The monitor's band filter.
CBiquad BandPass(double rate, double frequency) {
  CBiquad s;
  s.kind = CBiquad::kBandPass;
  s.q = 10;
  s.sampleRate = rate;
  s.frequency = frequency;
  s.Design();
  return s;
}

}  // namespace

TEST(BiquadDesign, PeakingBandOfSixDbIsHalfAnOctaveWideAtHalfGain) {
  CBiquad s;
  s.DesignPeaking(44100, 1000, 6.0, 0.5);
  EXPECT_NEAR(ResponseDb(s, 1000, 44100), 6.0, 1e-9);
  const double lower = Crossing(s, 44100, 100, 1000, 3.0);
  const double upper = Crossing(s, 44100, 1000, 10000, 3.0);
  EXPECT_NEAR(std::log2(upper / lower), 0.5, 0.01);
  EXPECT_NEAR(std::sqrt(lower * upper), 1000.0, 5.0);
  EXPECT_NEAR(ResponseDb(s, 20, 44100), 0.0, 0.01);
  EXPECT_NEAR(ResponseDb(s, 20000, 44100), 0.0, 0.02);
}

// Designing a section again (a slider step) keeps its history, so the sound goes on without a click.
TEST(BiquadState, DesignKeepsTheHistory) {
  CBiquad used;
  used.DesignPeaking(44100, 63, 9.0, 0.5);
  for (double x : Noise(5000, 1.0, 7)) used.Process(x);
  CBiquad redesigned = used;
  redesigned.DesignPeaking(44100, 63, 9.0, 0.5);
  for (double x : Noise(300, 0.8, 12)) ASSERT_EQ(used.Process(x), redesigned.Process(x));
}

// The monitor's band sums do not depend on how many sections run together (four, two or one). The
// equalizer's paired and stereo sections are held to each other by the chain's stereo test, and to the
// designed response by the equalizer bank's tests.
TEST(BiquadState, SumOfSquaresFastPathsMatchSectionBySection) {
  const auto input = Noise(1500, 1.0, 5);
  CBiquad quad[4], alone[4];
  const int frequencies[4] = {25, 400, 2500, 16000};
  for (int k = 0; k < 4; ++k) {
    quad[k] = BandPass(48000, frequencies[k]);
    quad[k].Process(0.1 * k);  // different histories
    alone[k] = quad[k];
  }
  double sums[4], pairSums[2];
  CBiquad::ProcessSumOfSquaresQuad({&quad[0], &quad[1], &quad[2], &quad[3]}, input, sums);
  CBiquad c0 = alone[0], c1 = alone[1];
  CBiquad::ProcessSumOfSquaresPair(c0, c1, input, &pairSums[0], &pairSums[1]);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(sums[k], alone[k].ProcessSumOfSquares(input)) << k;
    EXPECT_EQ(quad[k].Y1(), alone[k].Y1()) << k;
  }
  EXPECT_EQ(pairSums[0], sums[0]);
  EXPECT_EQ(pairSums[1], sums[1]);
}
