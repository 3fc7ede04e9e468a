#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"
#include "engine/biquad.h"

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

// Every fast path runs exactly the arithmetic of Process, so the equalizer's and the monitor's results do
// not depend on how many sections or channels run together.
TEST(BiquadState, FastPathsMatchSampleBySample) {
  CBiquad a, b;
  a.DesignPeaking(48000, 25, 6.0, 0.5);
  b.DesignPeaking(48000, 6300, -5.0, 0.5);
  const auto input = Noise(1500, 1.0, 5);
  std::vector<double> expected, pair = input, left = input, right = Noise(1500, 0.4, 6), rightAlone = right;
  double expectedSum = 0.0;
  CBiquad a1 = a, b1 = b, a2 = a, b2 = b, aL = a, bL = b, aR = b, bR = a, sum = a, rightA = b, rightB = a;
  for (double x : input) {
    expected.push_back(b1.Process(a1.Process(x)));
    const double y = a.Process(x);
    expectedSum += y * y;
  }
  CBiquad::ProcessPair(a2, b2, pair.data(), 700);
  CBiquad::ProcessPair(a2, b2, pair.data() + 700, 800);
  EXPECT_EQ(pair, expected);
  CBiquad::ProcessPairStereo(aL, bL, aR, bR, left.data(), right.data(), 1500);
  EXPECT_EQ(left, expected);
  CBiquad::ProcessPair(rightA, rightB, rightAlone.data(), 1500);
  EXPECT_EQ(right, rightAlone);
  EXPECT_EQ(sum.ProcessSumOfSquares(input.data(), 1500), expectedSum);

  CBiquad quad[4], alone[4];
  const int frequencies[4] = {25, 400, 2500, 16000};
  for (int k = 0; k < 4; ++k) {
    quad[k] = BandPass(48000, frequencies[k]);
    quad[k].Process(0.1 * k);  // different histories
    alone[k] = quad[k];
  }
  double sums[4], pairSums[2];
  CBiquad::ProcessSumOfSquaresQuad({&quad[0], &quad[1], &quad[2], &quad[3]}, input.data(), 1500, sums);
  CBiquad c0 = alone[0], c1 = alone[1];
  CBiquad::ProcessSumOfSquaresPair(c0, c1, input.data(), 1500, &pairSums[0], &pairSums[1]);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(sums[k], alone[k].ProcessSumOfSquares(input.data(), 1500)) << k;
    EXPECT_EQ(quad[k].Y1(), alone[k].Y1()) << k;
  }
  EXPECT_EQ(pairSums[0], sums[0]);
  EXPECT_EQ(pairSums[1], sums[1]);
}
