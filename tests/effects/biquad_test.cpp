#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"
#include "engine/biquad.h"

using engine::CBiquad;
using namespace effects_test;

namespace {

CBiquad Designed(int kind, int widthForm, double rate, double f0, double gainDb = 0.0, double width = 0.707) {
  CBiquad s;
  s.kind = kind;
  s.widthForm = widthForm;
  s.sampleRate = rate;
  s.frequency = f0;
  s.gain = gainDb;
  s.q = width;
  s.bandwidth = width;
  s.slope = width;
  s.Design();
  return s;
}

// The frequency between lo and hi where the response crosses `targetDb` (response monotonic there).
double Crossing(const CBiquad& s, double rate, double lo, double hi, double targetDb) {
  const bool risingWithFrequency = ResponseDb(s, hi, rate) > ResponseDb(s, lo, rate);
  for (int i = 0; i < 200; ++i) {
    const double mid = std::sqrt(lo * hi);
    const bool above = ResponseDb(s, mid, rate) > targetDb;
    if (above == risingWithFrequency)
      hi = mid;
    else
      lo = mid;
  }
  return std::sqrt(lo * hi);
}

}  // namespace

TEST(BiquadDesign, PeakingBandOfSixDbIsHalfAnOctaveWideAtHalfGain) {
  CBiquad s;
  s.DesignPeaking(44100, 1000, 6.0, 0.5);
  EXPECT_NEAR(ResponseDb(s, 1000, 44100), 6.0, 1e-9);
  EXPECT_LT(ResponseDb(s, 980, 44100), ResponseDb(s, 1000, 44100));
  EXPECT_LT(ResponseDb(s, 1020, 44100), ResponseDb(s, 1000, 44100));
  const double lower = Crossing(s, 44100, 100, 1000, 3.0);
  const double upper = Crossing(s, 44100, 1000, 10000, 3.0);
  EXPECT_NEAR(std::log2(upper / lower), 0.5, 0.01);
  EXPECT_NEAR(std::sqrt(lower * upper), 1000.0, 5.0);
  // Far from the band the section is transparent.
  EXPECT_NEAR(ResponseDb(s, 20, 44100), 0.0, 0.01);
  EXPECT_NEAR(ResponseDb(s, 20000, 44100), 0.0, 0.02);
}

TEST(BiquadDesign, PeakingUsesTheRoundedNaturalBaseForItsBandwidth) {
  // alpha = sin w0 * sinh(k * BW * w0 / 2 / sin w0) with k = ln 2 / ln 2.718282; the plain ln 2 differs
  // in the eighth digit, far above rounding.
  const double rate = 48000, f0 = 2500, gainDb = -7.5, bw = 0.5;
  CBiquad s;
  s.DesignPeaking(rate, f0, gainDb, bw);
  const double a = std::pow(10.0, gainDb * 0.025);
  const double w0 = 6.283185307179586 * f0 / rate;
  const double alpha = std::sin(w0) * std::sinh(std::log(2.0) / std::log(2.718282) * bw * w0 * 0.5 / std::sin(w0));
  const double a0 = 1.0 + alpha / a;
  EXPECT_NEAR(s.B0(), (1.0 + alpha * a) / a0, 1e-15);
  EXPECT_NEAR(s.B2(), (1.0 - alpha * a) / a0, 1e-15);
  EXPECT_NEAR(s.A1(), -2.0 * std::cos(w0) / a0, 1e-15);
  EXPECT_NEAR(s.A2(), (1.0 - alpha / a) / a0, 1e-15);
  EXPECT_EQ(s.widthForm, CBiquad::kBandwidth);
  EXPECT_EQ(s.kind, CBiquad::kPeaking);
}

TEST(BiquadDesign, ZeroGainPeakingIsTransparent) {
  CBiquad s;
  s.DesignPeaking(44100, 400, 0.0, 0.5);
  const auto noise = Noise(2000, 0.9);
  for (double x : noise) EXPECT_NEAR(s.Process(x), x, 1e-12);
}

TEST(BiquadDesign, EveryKindAtOrAboveHalfTheRateIsTheIdentity) {
  for (int kind = CBiquad::kLowPass; kind <= CBiquad::kHighShelf; ++kind) {
    for (int form = CBiquad::kQuality; form <= CBiquad::kSlope; ++form) {
      CBiquad at = Designed(kind, form, 44100, 22050, 6.0, 0.5);
      EXPECT_TRUE(at.IsIdentity()) << "kind " << kind << " form " << form;
      CBiquad above = Designed(kind, form, 8000, 16000, 6.0, 0.5);
      EXPECT_TRUE(above.IsIdentity()) << "kind " << kind << " form " << form;
      CBiquad below = Designed(kind, form, 44100, 22049, 6.0, 0.5);
      EXPECT_FALSE(below.IsIdentity()) << "kind " << kind << " form " << form;
    }
  }
  CBiquad s;
  s.DesignPeaking(44100, 22050, 12.0, 0.5);
  EXPECT_TRUE(s.IsIdentity());
}

TEST(BiquadDesign, KindsHaveTheirCharacteristicResponses) {
  const double rate = 48000;
  CBiquad lp = Designed(CBiquad::kLowPass, CBiquad::kQuality, rate, 1000, 0, 0.7071);
  EXPECT_NEAR(ResponseDb(lp, 1, rate), 0.0, 1e-4);
  EXPECT_NEAR(ResponseDb(lp, 1000, rate), -3.01, 0.01);
  EXPECT_LT(ResponseDb(lp, 20000, rate), -40.0);

  CBiquad hp = Designed(CBiquad::kHighPass, CBiquad::kQuality, rate, 1000, 0, 0.7071);
  EXPECT_LT(ResponseDb(hp, 20, rate), -40.0);
  EXPECT_NEAR(ResponseDb(hp, 1000, rate), -3.01, 0.01);
  EXPECT_NEAR(ResponseDb(hp, 23999, rate), 0.0, 1e-3);

  CBiquad bp = Designed(CBiquad::kBandPass, CBiquad::kQuality, rate, 1000, 0, 10);
  EXPECT_NEAR(ResponseDb(bp, 1000, rate), 0.0, 1e-9);
  EXPECT_LT(ResponseDb(bp, 500, rate), -15.0);

  CBiquad bpOctave = Designed(CBiquad::kBandPass, CBiquad::kBandwidth, rate, 1000, 0, 1.0);
  const double lo = Crossing(bpOctave, rate, 100, 1000, -3.0103);
  const double hi = Crossing(bpOctave, rate, 1000, 10000, -3.0103);
  EXPECT_NEAR(std::log2(hi / lo), 1.0, 0.01);

  CBiquad notch = Designed(CBiquad::kNotch, CBiquad::kQuality, rate, 1000, 0, 2);
  EXPECT_LT(ResponseDb(notch, 1000, rate), -100.0);
  EXPECT_NEAR(ResponseDb(notch, 10, rate), 0.0, 1e-3);

  CBiquad low = Designed(CBiquad::kLowShelf, CBiquad::kSlope, rate, 300, 9.0, 1.0);
  EXPECT_NEAR(ResponseDb(low, 1, rate), 9.0, 1e-3);
  EXPECT_NEAR(ResponseDb(low, 300, rate), 4.5, 0.01);
  EXPECT_NEAR(ResponseDb(low, 23999, rate), 0.0, 1e-3);

  CBiquad high = Designed(CBiquad::kHighShelf, CBiquad::kSlope, rate, 3000, -9.0, 1.0);
  EXPECT_NEAR(ResponseDb(high, 1, rate), 0.0, 1e-3);
  EXPECT_NEAR(ResponseDb(high, 3000, rate), -4.5, 0.01);
  EXPECT_NEAR(ResponseDb(high, 23999, rate), -9.0, 1e-3);

  // A slope of 1 is the steepest shelf without overshoot, the same as Q = 1/sqrt(2).
  CBiquad lowQ = Designed(CBiquad::kLowShelf, CBiquad::kQuality, rate, 300, 9.0, 1.0 / std::sqrt(2.0));
  EXPECT_NEAR(lowQ.B0(), low.B0(), 1e-12);
  EXPECT_NEAR(lowQ.A1(), low.A1(), 1e-12);
  EXPECT_NEAR(lowQ.A2(), low.A2(), 1e-12);
}

TEST(BiquadDesign, UnknownKindOrWidthFormKeepsTheCoefficients) {
  CBiquad s = Designed(CBiquad::kLowPass, CBiquad::kQuality, 44100, 1000, 0, 0.5);
  const double b0 = s.B0(), a1 = s.A1();
  s.kind = 7;
  s.frequency = 3000;
  s.Design();
  EXPECT_EQ(s.B0(), b0);
  EXPECT_EQ(s.A1(), a1);
  s.kind = CBiquad::kLowPass;
  s.widthForm = 3;
  s.Design();
  EXPECT_EQ(s.B0(), b0);
  EXPECT_EQ(s.A1(), a1);
  // Even with an unknown kind, a frequency at half the rate still gives the identity.
  s.kind = 9;
  s.frequency = 22050;
  s.Design();
  EXPECT_TRUE(s.IsIdentity());
}

TEST(BiquadState, UnprimedSectionReproducesItsImpulseResponse) {
  CBiquad fresh;
  fresh.DesignPeaking(44100, 63, 9.0, 0.5);
  CBiquad used = fresh;
  std::vector<double> reference;
  for (int i = 0; i < 256; ++i) reference.push_back(fresh.Process(i == 0 ? 1.0 : 0.0));

  for (double x : Noise(5000, 1.0, 7)) used.Process(x);
  used.Unprime();
  for (int i = 0; i < 256; ++i) EXPECT_EQ(used.Process(i == 0 ? 1.0 : 0.0), reference[i]) << i;

  // The same through the block path, after more history.
  std::vector<double> more = Noise(777, 0.5, 3);
  used.ProcessBlock(more.data(), int(more.size()));
  used.Unprime();
  std::vector<double> impulse(256, 0.0);
  impulse[0] = 1.0;
  used.ProcessBlock(impulse.data(), 256);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(impulse[i], reference[i]) << i;
}

TEST(BiquadState, DesignKeepsTheHistory) {
  CBiquad a, b;
  a.DesignPeaking(44100, 160, 4.0, 0.5);
  b = a;
  const auto noise = Noise(300, 0.8, 11);
  for (double x : noise) {
    a.Process(x);
    b.Process(x);
  }
  b.DesignPeaking(44100, 160, 4.0, 0.5);  // same design again: nothing may change
  for (double x : Noise(300, 0.8, 12)) EXPECT_EQ(a.Process(x), b.Process(x));
}

TEST(BiquadState, BlockAndSumPathsMatchSampleBySample) {
  CBiquad one, block, sum;
  one.DesignPeaking(48000, 6300, -5.0, 0.5);
  block = one;
  sum = one;
  auto input = Noise(1500, 1.0, 5);
  std::vector<double> output = input;
  block.ProcessBlock(output.data(), 700);
  block.ProcessBlock(output.data() + 700, 800);
  double expectedSum = 0.0;
  for (size_t i = 0; i < input.size(); ++i) {
    const double y = one.Process(input[i]);
    EXPECT_EQ(output[i], y);
    expectedSum += y * y;
  }
  EXPECT_EQ(sum.ProcessSumOfSquares(input.data(), 1500), expectedSum);

  CBiquad other, otherAlone, oneAgain = sum;
  other.DesignPeaking(48000, 63, 7.0, 0.5);
  otherAlone = other;
  oneAgain.Unprime();
  sum.Unprime();
  double firstSum = 0.0, secondSum = 0.0;
  CBiquad::ProcessSumOfSquaresPair(sum, other, input.data(), 1500, &firstSum, &secondSum);
  EXPECT_EQ(firstSum, oneAgain.ProcessSumOfSquares(input.data(), 1500));
  EXPECT_EQ(secondSum, otherAlone.ProcessSumOfSquares(input.data(), 1500));
  EXPECT_EQ(sum.Y1(), oneAgain.Y1());
  EXPECT_EQ(other.Y2(), otherAlone.Y2());

  CBiquad quad[4], alone[4];
  const int frequencies[4] = {25, 400, 2500, 16000};
  for (int k = 0; k < 4; ++k) {
    quad[k].kind = CBiquad::kBandPass;
    quad[k].q = 10;
    quad[k].sampleRate = 48000;
    quad[k].frequency = frequencies[k];
    quad[k].Design();
    quad[k].Process(0.1 * k);  // different histories
    alone[k] = quad[k];
  }
  double sums[4];
  CBiquad::ProcessSumOfSquaresQuad({&quad[0], &quad[1], &quad[2], &quad[3]}, input.data(), 1500, sums);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(sums[k], alone[k].ProcessSumOfSquares(input.data(), 1500)) << k;
    EXPECT_EQ(quad[k].X2(), alone[k].X2()) << k;
    EXPECT_EQ(quad[k].Y1(), alone[k].Y1()) << k;
    EXPECT_EQ(quad[k].Y2(), alone[k].Y2()) << k;
  }
}

TEST(BiquadState, PairPassMatchesTwoSinglePasses) {
  CBiquad a, b;
  a.DesignPeaking(44100, 25, 6.0, 0.5);
  b.DesignPeaking(44100, 16000, -6.0, 0.5);
  CBiquad a2 = a, b2 = b;
  auto input = Noise(3000, 1.0, 13);
  std::vector<double> pair = input;
  CBiquad::ProcessPair(a, b, pair.data(), 1000);
  CBiquad::ProcessPair(a, b, pair.data() + 1000, 2000);
  for (size_t i = 0; i < input.size(); ++i) ASSERT_EQ(pair[i], b2.Process(a2.Process(input[i]))) << i;
}

TEST(BiquadState, CascadeMatchesTheTextbookDifferenceEquation) {
  // The sections sum the previous output's term last (a shorter recursion); over ten seconds of a loud
  // signal through all eight bands that stays within 1e-9 of y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2.
  const int frequencies[] = {25, 63, 160, 400, 1000, 2500, 6300, 16000};
  const double gains[] = {12, -12, 9, -9, 6, -6, 12, -12};
  CBiquad sections[8];
  struct Textbook {
    double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double Run(double x) {
      const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
      x2 = x1;
      x1 = x;
      y2 = y1;
      y1 = y;
      return y;
    }
  };
  std::vector<Textbook> reference;
  for (int k = 0; k < 8; ++k) {
    sections[k].DesignPeaking(44100, frequencies[k], gains[k], 0.5);
    reference.push_back({sections[k].B0(), sections[k].B1(), sections[k].B2(), sections[k].A1(), sections[k].A2()});
  }
  const int count = 441000;
  std::vector<double> signal = Noise(count, 1.0, 21);
  for (int i = 0; i < count; ++i) signal[i] = 0.5 * signal[i] + 0.5 * std::sin(2 * kPi * 40 * i / 44100.0);
  std::vector<double> expected = signal;
  for (double& x : expected)
    for (Textbook& t : reference) x = t.Run(x);
  for (int k = 0; k < 8; k += 2) CBiquad::ProcessPair(sections[k], sections[k + 1], signal.data(), count);
  double peak = 0.0, worst = 0.0;
  for (int i = 0; i < count; ++i) {
    peak = std::max(peak, std::fabs(expected[i]));
    worst = std::max(worst, std::fabs(signal[i] - expected[i]));
  }
  EXPECT_LT(worst / peak, 1e-9);
  EXPECT_GT(peak, 0.5);
}

