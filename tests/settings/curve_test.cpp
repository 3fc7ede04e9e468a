#include <gtest/gtest.h>

#include <cmath>

#include "settings/curve.h"
#include "settings/equalizer_sampling.h"

namespace {

using settings::CCurve;
using settings::CurvePoint;

CCurve CurveWith(std::vector<CurvePoint> points) {
  CCurve curve;
  if (points.empty())
    curve.ResetToDefaults();
  else
    curve.SetPoints(std::move(points));
  return curve;
}

TEST(CurveEditing, SetPointTruncatesComparesClampsAndInserts) {
  CCurve curve = CurveWith({});
  curve.SetPoint(1000, 3.2f, -36, 12);
  curve.GainAt(300);                    // fits the spline
  curve.SetPoint(1000, 3.7f, -36, 12);  // same whole dB: nothing changes, no refit
  EXPECT_TRUE(curve.fitted);
  EXPECT_FLOAT_EQ(curve.GainAt(1000), 3.2f);  // a point's own gain
  curve.SetPoint(400, -0.5f, -36, 12);  // truncation toward zero: still 0
  EXPECT_DOUBLE_EQ(curve.GainAt(400), 0.0);
  curve.SetPoint(400, -40.0f, -36, 12);
  EXPECT_DOUBLE_EQ(curve.GainAt(400), -36.0);
  curve.SetPoint(500, 20.0f, -36, 12);
  ASSERT_EQ(curve.PointCount(), 9u);
  EXPECT_DOUBLE_EQ(curve.points[4].frequency, 500.0);
  EXPECT_DOUBLE_EQ(curve.points[4].gain, 12.0);
}

TEST(CurveSampling, ExactPointsThenTheNaturalSplineInLogFrequency) {
  CCurve exact = CurveWith({{25, 1.234}, {1000, 5}, {1000, -5}, {16000, 2}});
  EXPECT_DOUBLE_EQ(exact.GainAt(1000), 5.0) << "the first of two points at one frequency";
  EXPECT_FALSE(exact.fitted);
  // Two knots: a straight line in log10 frequency, continued beyond both ends.
  CCurve line = CurveWith({{100, 0}, {1000, 10}});
  EXPECT_NEAR(line.GainAt(10000), 20.0, 1e-9);
  EXPECT_NEAR(line.GainAt(1), -20.0, 1e-9);
  // Natural spline through (2,0), (3,6), (4,0): y = 9t - 3t^3 on [2,3], y = 6 - 9t^2 + 3t^3 on [3,4].
  CCurve curve = CurveWith({{100, 0}, {1000, 6}, {10000, 0}});
  const double t = std::log10(31623.0) - 3.0;
  EXPECT_NEAR(curve.GainAt(31623), 6 - 9 * t * t + 3 * t * t * t, 1e-6);
  EXPECT_NEAR(curve.GainAt(10), -9 + 3, 1e-6);
  EXPECT_NEAR(curve.GainAt(316), 9 * 0.4997 - 3 * std::pow(0.4997, 3), 1e-3) << "the cursor goes back";
}

TEST(CurveSampling, AwkwardPointSetsGiveFiniteGains) {
  std::vector<CurvePoint> many;
  for (int i = 0; i < 3000; ++i) many.push_back({20.0 + i * 6.0, (i % 7) - 3.0});
  const double gain = CurveWith(many).GainAt(20 + 2998 * 6 + 3);
  EXPECT_TRUE(gain > -6.0 && gain < 6.0) << "more than 1024 points all take part: " << gain;
  EXPECT_DOUBLE_EQ(CurveWith({{500, 6}}).GainAt(300), 0.0) << "fewer than two points: reset to the defaults first";
  CCurve duplicates = CurveWith({{25, 0}, {1000, 4}, {1000, -4}, {16000, 0}});
  for (int frequency : {500, 2000, 20000}) EXPECT_TRUE(std::isfinite(duplicates.GainAt(frequency)));
}

}  // namespace
