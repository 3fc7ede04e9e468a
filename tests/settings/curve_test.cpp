#include <gtest/gtest.h>

#include <cmath>

#include "settings/curve.h"
#include "settings/equalizer_sampling.h"

namespace {

using settings::CCurve;
using settings::CurvePoint;

CCurve CurveWith(std::vector<CurvePoint> points) {
  CCurve curve;
  curve.SetPoints(std::move(points));
  return curve;
}

CCurve DefaultCurve() {
  CCurve curve;
  curve.ResetToDefaults();
  return curve;
}

double PointGain(const CCurve& curve, double frequency) {
  for (const CurvePoint& point : curve.points)
    if (point.frequency == frequency) return point.gain;
  ADD_FAILURE() << "no point at " << frequency;
  return NAN;
}

TEST(CurveEditing, SetPointIgnoresChangesWithinTheSameWholeDecibel) {
  CCurve curve = DefaultCurve();
  curve.SetPoint(1000, 3.2f, -36, 12);
  curve.GainAt(300);  // fits the spline
  ASSERT_TRUE(curve.fitted);
  curve.SetPoint(1000, 3.7f, -36, 12);
  EXPECT_FLOAT_EQ(PointGain(curve, 1000), 3.2f);
  EXPECT_TRUE(curve.fitted) << "an ignored change must not force a refit";
  curve.SetPoint(1000, 4.0f, -36, 12);
  EXPECT_DOUBLE_EQ(PointGain(curve, 1000), 4.0);
  EXPECT_FALSE(curve.fitted);
  // Truncation goes toward zero: -0.5 and +0.5 both count as 0 against a point at 0 dB.
  curve.SetPoint(400, -0.5f, -36, 12);
  EXPECT_DOUBLE_EQ(PointGain(curve, 400), 0.0);
  curve.SetPoint(400, -1.0f, -36, 12);
  EXPECT_DOUBLE_EQ(PointGain(curve, 400), -1.0);
}

TEST(CurveEditing, SetPointClampsExistingAndInsertsNewPointsInOrder) {
  CCurve curve = DefaultCurve();
  curve.SetPoint(400, -40.0f, -36, 12);
  EXPECT_DOUBLE_EQ(PointGain(curve, 400), -36.0);
  curve.SetPoint(500, 20.0f, -36, 12);
  ASSERT_EQ(curve.PointCount(), 9u);
  EXPECT_DOUBLE_EQ(curve.points[3].frequency, 400.0);
  EXPECT_DOUBLE_EQ(curve.points[4].frequency, 500.0);
  EXPECT_DOUBLE_EQ(curve.points[4].gain, 12.0);
  EXPECT_DOUBLE_EQ(curve.points[5].frequency, 1000.0);
}

TEST(CurveEditing, GatherMovesEveryPointAndClampsEach) {
  CCurve curve = CurveWith({{25, 0}, {63, 0}, {160, 10}, {400, -2}, {1000, 0}, {2500, 0}, {6300, 0}, {16000, 0}});
  curve.gather = true;
  curve.SetPoint(63, 5.0f, -36, 12);
  EXPECT_DOUBLE_EQ(PointGain(curve, 63), 5.0);
  EXPECT_DOUBLE_EQ(PointGain(curve, 25), 5.0);
  EXPECT_DOUBLE_EQ(PointGain(curve, 160), 12.0) << "10 + 5 clamps at +12";
  EXPECT_DOUBLE_EQ(PointGain(curve, 400), 3.0);
  EXPECT_DOUBLE_EQ(PointGain(curve, 16000), 5.0);
  // An inserted point never shifts the others, gather or not.
  curve.SetPoint(800, -6.0f, -36, 12);
  EXPECT_DOUBLE_EQ(PointGain(curve, 1000), 5.0);
  EXPECT_DOUBLE_EQ(PointGain(curve, 800), -6.0);
}

TEST(CurveEditing, FlattenSetsTheAverage) {
  CCurve curve = CurveWith({{25, 0}, {63, 0}, {160, 6}, {400, 6}, {1000, 6}, {2500, 6}, {6300, 6}, {16000, 6}});
  EXPECT_DOUBLE_EQ(curve.AverageGain(), 4.5);
  curve.Flatten();
  for (const CurvePoint& point : curve.points) EXPECT_DOUBLE_EQ(point.gain, 4.5);
  EXPECT_FALSE(curve.fitted);
}

TEST(CurveEditing, SortKeepsPointsOfEqualFrequencyAndUsesTheExchangeOrder) {
  CCurve curve = CurveWith({{500, 1}, {500, 2}, {100, 3}});
  curve.SortByFrequency();
  ASSERT_EQ(curve.PointCount(), 3u);
  EXPECT_DOUBLE_EQ(curve.points[0].frequency, 100);
  // The exchange of positions 0 and 2 moves the first 500 Hz point behind the second.
  EXPECT_DOUBLE_EQ(curve.points[1].gain, 2);
  EXPECT_DOUBLE_EQ(curve.points[2].gain, 1);
}

TEST(CurveEditing, CopyTakesPointsAndGatherButKeepsTheName) {
  CCurve source = CurveWith({{100, 1}, {200, 2}});
  source.gather = true;
  source.name = "equalizer_left";
  CCurve target;
  target.name = "equalizer_right";
  target.GainAt(150);
  ASSERT_TRUE(target.fitted);
  target = source;
  EXPECT_EQ(target.name, "equalizer_right");
  EXPECT_TRUE(target.gather);
  EXPECT_FALSE(target.fitted);
  EXPECT_EQ(target.PointCount(), 2u);
}

TEST(CurveSampling, GainAtAPointIsItsStoredGainWithoutFitting) {
  CCurve curve = CurveWith({{25, 1.234}, {1000, -7.77}, {16000, 2}});
  EXPECT_DOUBLE_EQ(curve.GainAt(1000), -7.77);
  EXPECT_FALSE(curve.fitted);
  CCurve duplicates = CurveWith({{25, 0}, {1000, 5}, {1000, -5}, {16000, 0}});
  EXPECT_DOUBLE_EQ(duplicates.GainAt(1000), 5.0);
}

TEST(CurveSampling, TwoKnotsAreAStraightLineInLogFrequencyContinuedBeyondBothEnds) {
  CCurve curve = CurveWith({{100, 0}, {1000, 10}});
  EXPECT_NEAR(curve.GainAt(316), 10 * std::log10(3.16), 1e-9);
  EXPECT_NEAR(curve.GainAt(10000), 20.0, 1e-9);
  EXPECT_NEAR(curve.GainAt(10), -10.0, 1e-9);
  EXPECT_NEAR(curve.GainAt(1), -20.0, 1e-9);
}

TEST(CurveSampling, MoreKnotsInterpolateSmoothlyAndContinueTheEndCubics) {
  CCurve curve = CurveWith({{100, 0}, {1000, 6}, {10000, 0}});
  // Natural spline through (2,0), (3,6), (4,0): M2 = -18, so on [2,3]: y = 9t - 3t^3.
  EXPECT_NEAR(curve.GainAt(316), 9 * 0.4997 - 3 * std::pow(0.4997, 3), 1e-3);
  // Beyond the last knot the last cubic goes on: on [3,4] y = 6 - 9t^2 + 3t^3 with t = x - 3.
  double t = std::log10(31623.0) - 3.0;
  EXPECT_NEAR(curve.GainAt(31623), 6 - 9 * t * t + 3 * t * t * t, 1e-6);
  double below = std::log10(10.0) - 2.0;  // -1
  EXPECT_NEAR(curve.GainAt(10), 9 * below - 3 * below * below * below, 1e-6);
  // The cursor keeps working when sampling goes back and forth.
  EXPECT_NEAR(curve.GainAt(316), 9 * 0.4997 - 3 * std::pow(0.4997, 3), 1e-3);
}

TEST(CurveSampling, FitTakesMoreThan1024PointsWithoutOverflow) {
  std::vector<CurvePoint> points;
  for (int i = 0; i < 3000; ++i) points.push_back({20.0 + i * 6.0, (i % 7) - 3.0});
  CCurve curve = CurveWith(points);
  curve.Fit();
  EXPECT_EQ(curve.spline.KnotCount(), 3000);
  // Between the last knots the spline stays near them (all points take part in the fit).
  double gain = curve.GainAt(20 + 2998 * 6 + 3);
  EXPECT_TRUE(std::isfinite(gain));
  EXPECT_GT(gain, -6.0);
  EXPECT_LT(gain, 6.0);
}

TEST(CurveSampling, ACurveWithFewerThanTwoPointsIsResetBeforeFitting) {
  CCurve empty;
  EXPECT_DOUBLE_EQ(empty.GainAt(300), 0.0);
  EXPECT_EQ(empty.PointCount(), 8u);
  CCurve single = CurveWith({{500, 6}});
  EXPECT_DOUBLE_EQ(single.GainAt(500), 6.0) << "an exact point needs no fit";
  EXPECT_DOUBLE_EQ(single.GainAt(300), 0.0);
  EXPECT_EQ(single.PointCount(), 8u);
}

TEST(CurveSampling, DuplicateFrequenciesDoNotPoisonTheSpline) {
  CCurve curve = CurveWith({{25, 0}, {1000, 4}, {1000, -4}, {16000, 0}});
  for (int frequency : settings::bandFrequencies) EXPECT_TRUE(std::isfinite(curve.GainAt(frequency)));
  EXPECT_TRUE(std::isfinite(curve.GainAt(500)));
}

TEST(CurveSampling, BandGainsGoToTheEngineForBothChannels) {
  engine::ProcessingParameters parameters;
  CCurve left = CurveWith({{25, 1.5}, {16000, -3}});
  CCurve right = DefaultCurve();
  right.SetPoint(2500, 6.0f, -36, 12);
  settings::ApplyCurvesToEqualizer(left, right, parameters);
  EXPECT_DOUBLE_EQ(parameters.equalizer.bands[engine::BandIndex(0, 0)].gain, 1.5);
  EXPECT_DOUBLE_EQ(parameters.equalizer.bands[engine::BandIndex(7, 0)].gain, -3.0);
  double slope = -4.5 / (std::log10(16000.0) - std::log10(25.0));
  EXPECT_NEAR(parameters.equalizer.bands[engine::BandIndex(4, 0)].gain, 1.5 + slope * std::log10(1000 / 25.0), 1e-9);
  EXPECT_DOUBLE_EQ(parameters.equalizer.bands[engine::BandIndex(5, 1)].gain, 6.0);
  EXPECT_DOUBLE_EQ(parameters.equalizer.bands[engine::BandIndex(4, 1)].gain, 0.0);
  for (const engine::EqualizerBand& band : parameters.equalizer.bands) EXPECT_EQ(band.dirty, 1);
}

TEST(CurveIdentity, SameAsComparesGainsInTruncatedHundredths) {
  auto withGain = [](double gain) { return CurveWith({{25, 0}, {1000, gain}}); };
  EXPECT_TRUE(withGain(-0.004).SameAs(withGain(0.009)));
  EXPECT_TRUE(withGain(0.015).SameAs(withGain(0.019)));
  EXPECT_FALSE(withGain(0.009).SameAs(withGain(0.015)));
  EXPECT_FALSE(CurveWith({{25, 0}, {1000, 0}}).SameAs(CurveWith({{25, 0}, {1000.5, 0}})));
  EXPECT_FALSE(CurveWith({{25, 0}, {1000, 0}}).SameAs(DefaultCurve()));
  EXPECT_TRUE(withGain(1e300).SameAs(withGain(1e300)));
}

}  // namespace
