#include "settings/curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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

// The natural cubic spline through (x, y) at `at`, computed independently of the curve's own solver: the
// second derivatives M from the full linear system (natural ends: M = 0 there) by Gauss-Jordan elimination
// (the system is diagonally dominant: no pivoting needed), then the textbook form of the piece between the two knots
// around `at` (the end pieces continued).
double NaturalSpline(const std::vector<double>& x, const std::vector<double>& y, double at) {
  const size_t n = x.size();
  std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
  a[0][0] = a[n - 1][n - 1] = 1.0;
  for (size_t i = 1; i + 1 < n; ++i) {
    const double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
    a[i][i - 1] = h0, a[i][i] = 2 * (h0 + h1), a[i][i + 1] = h1;
    a[i][n] = 6 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
  }
  for (size_t col = 0; col < n; ++col) {
    for (size_t r = 0; r < n; ++r)
      for (size_t k = n + 1; r != col && k-- > col;) a[r][k] -= a[r][col] / a[col][col] * a[col][k];
  }
  size_t i = 0;
  while (i + 2 < n && at > x[i + 1]) ++i;
  const double h = x[i + 1] - x[i], m0 = a[i][n] / a[i][i], m1 = a[i + 1][n] / a[i + 1][i + 1];
  const double l = x[i + 1] - at, r = at - x[i];
  return (m0 * l * l * l + m1 * r * r * r) / (6 * h) + (y[i] / h - m0 * h / 6) * l + (y[i + 1] / h - m1 * h / 6) * r;
}

TEST(CurveSampling, ExactPointsThenTheNaturalSplineInLogFrequency) {
  CCurve exact = CurveWith({{25, 1.234}, {1000, 5}, {1000, -5}, {16000, 2}});
  EXPECT_DOUBLE_EQ(exact.GainAt(1000), 5.0) << "the first of two points at one frequency";
  EXPECT_FALSE(exact.fitted);
  // Two knots: a straight line in log10 frequency, continued beyond both ends.
  CCurve line = CurveWith({{100, 0}, {1000, 10}});
  EXPECT_NEAR(line.GainAt(10000), 20.0, 1e-9);
  EXPECT_NEAR(line.GainAt(1), -20.0, 1e-9);
  // Evenly and unevenly spaced points (a user file's 100, 200 and 10,000 Hz), sampled left to right,
  // back again and beyond both ends.
  const std::vector<std::vector<CurvePoint>> sets = {
      {{100, 0}, {1000, 6}, {10000, 0}},
      {{100, 6}, {200, -3}, {10000, 9}},
      {{20, -6}, {30, 4}, {400, 12}, {500, -20}, {9000, 3}, {20000, 0}},
      {{25, 0}, {63, 3}, {160, -2}, {400, 5}, {1000, 0}, {2500, -7}, {6300, 1}, {16000, 12}}};
  for (const auto& points : sets) {
    CCurve curve = CurveWith(points);
    std::vector<double> x, y;
    for (const CurvePoint& point : points) x.push_back(std::log10(point.frequency)), y.push_back(point.gain);
    for (int frequency : {10, 27, 150, 199, 201, 450, 700, 3000, 9999, 15000, 22000, 120, 40, 5})
      EXPECT_NEAR(curve.GainAt(frequency), NaturalSpline(x, y, std::log10(frequency)), 1e-9)
          << frequency << " Hz, " << points.size() << " points";
  }
}

// A slider sets its point when the whole dB (toward zero) changes, held to the range; with Gather every other
// point moves by the same step, each held to the range. A new point is inserted in place and moves nothing.
TEST(CurveEditing, SetPointComparesWholeDecibelsClampsGathersAndInserts) {
  const std::vector<CurvePoint> start = {{25, 0}, {63, 0}, {160, 10}, {400, -34}, {1000, 3.25}};
  const struct {
    bool gather;
    int frequency;
    float gain;
    std::vector<double> gains;
  } cases[] = {
      {true, 63, 5.0f, {5, 5, 12, -29, 8.25}},     {true, 1000, -1.5f, {-4.75, -4.75, 5.25, -36, -1.5}},
      {true, 160, 10.9f, {0, 0, 10, -34, 3.25}},  // the same whole dB: nothing moves, no refit
      {true, 25, 20.0f, {12, 12, 12, -14, 12}},   // the step is the wanted gain's, before it is held
      {false, 63, 5.0f, {0, 5, 10, -34, 3.25}},    {false, 1000, 3.75f, {0, 0, 10, -34, 3.25}},
      {false, 400, -34.5f, {0, 0, 10, -34, 3.25}},  // -34 both, truncated toward zero
      {false, 400, -40.0f, {0, 0, 10, -36, 3.25}}, {true, 100, 20.0f, {0, 0, 12, 10, -34, 3.25}},  // inserted
  };
  for (const auto& c : cases) {
    CCurve curve = CurveWith(start);
    curve.gather = c.gather;
    curve.GainAt(300);  // fits the spline
    curve.SetPoint(c.frequency, c.gain, -36, 12);
    std::vector<double> gains;
    for (const CurvePoint& point : curve.points) gains.push_back(point.gain);
    EXPECT_EQ(gains, c.gains) << c.frequency << " Hz to " << c.gain << (c.gather ? " gathered" : "");
    EXPECT_EQ(curve.fitted, (gains == std::vector<double>{0, 0, 10, -34, 3.25})) << "refit only after a change";
  }
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
