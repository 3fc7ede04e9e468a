// Pixels of the equalizer, compressor and limiter graphs at their panel size that a wrong mapping,
// clamp or colour choice would move. The plot is (21, 20)-(295, 214): 274 x 194 pixels.
#include <cstdlib>

#include "graphs/graph_compress.h"
#include "graphs/graph_equalizer.h"
#include "graphs/graph_limiter.h"
#include "tests/graphs/graph_test_support.h"

using namespace graphs;
using namespace graphs_test;

namespace {
constexpr QRgb kBlue = qRgb(0, 0, 255), kGreen = qRgb(0, 255, 0), kRed = qRgb(255, 0, 0);
constexpr QRgb kPlot = qRgb(158, 186, 199), kFrame = qRgb(0, 64, 128);
constexpr QRgb kHatching = qRgb(102, 102, 102), kUnsafe = qRgb(255, 128, 128);

settings::CCurve Flat(float gain) {
  settings::CCurve curve;
  curve.ResetToDefaults();
  curve.SetAllGains(gain);
  return curve;
}

template <class Graph>
struct Sized : Graph {
  Sized() { this->resize(kGraphWidth, kGraphHeight); }
};

QImage DrawnCompressor(int threshold, int center, double rate) {
  Sized<GraphCompress> graph;
  graph.SetValues(threshold, center, rate);
  return Render(graph);
}
}  // namespace

// Where each curve lies at column 100 (away from the grid lines), and in which colour.
TEST(EqualizerGraph, CurvesLieOnTheirGainsRowInTheirSidesColour) {
  const struct {
    const char* fault;
    float left, right;
    double leftNudge;  // added to one point of the left curve
    int row;
    QRgb color;
  } cases[] = {// A flat 0 dB curve lies on the black 0 dB line, a quarter of the way down (20 + 194 / 4).
               {"same curves draw one blue curve on the 0 dB row", 0.0f, 0.0f, 0.0, 68, kBlue},
               // 0.01 dB apart at one point: two curves, the right one (red) drawn over the left.
               {"curves 0.01 dB apart draw green and red", 0.0f, 0.0f, 0.01, 68, kRed},
               {"gains above +12 dB stay on the top row", 20.0f, 20.0f, 0.0, 20, kBlue},
               {"gains below -36 dB stay one row above the bottom edge", -40.0f, -40.0f, 0.0, 213, kBlue},
               // -6 dB: 18 of 48 dB below the top, row 20 + trunc(194 * 18 / 48) = 92.
               {"the right curve is red at its own gain", 6.0f, -6.0f, 0.0, 92, kRed},
               {"the left curve is green at its own gain", 6.0f, -6.0f, 0.0, 44, kGreen}};
  for (const auto& c : cases) {
    Sized<GraphEqualizer> graph;
    settings::CCurve left = Flat(c.left), right = Flat(c.right);
    left.points[3].gain += c.leftNudge;
    graph.SetCurves(left, right);
    const QImage image = Render(graph);
    EXPECT_TRUE(PixelIs(image, 100, c.row, c.color)) << c.fault;
    EXPECT_FALSE(ColumnHas(image, 100, 0, c.row - 1, c.color)) << c.fault;
    EXPECT_FALSE(ColumnHas(image, 100, c.row + 1, kGraphHeight - 1, c.color)) << c.fault;
  }
}

TEST(EqualizerGraph, GridMarksZeroDbAndDecadesInBlackAndTwentyKilohertzRightOfTheFrame) {
  Sized<GraphEqualizer> graph;
  graph.SetCurves(Flat(-20.0f), Flat(-20.0f));
  const QImage image = Render(graph);
  EXPECT_TRUE(PixelIs(image, 30, 68, qRgb(0, 0, 0)));         // 0 dB
  EXPECT_TRUE(PixelIs(image, 30, 117, qRgb(127, 127, 127)));  // -12 dB: 20 + 194 / 2
  // 100 Hz at 21 + trunc(274 * log10(5) / 3) = 84; 20 kHz at the plot's right edge, outside the frame.
  EXPECT_TRUE(PixelIs(image, 84, 150, qRgb(0, 0, 0)));
  EXPECT_TRUE(PixelIs(image, 295, 150, qRgb(127, 127, 127)));
  EXPECT_TRUE(PixelIs(image, 294, 150, kFrame));
}

// Equal levels draw one blue knee over the unsafe band; different ones a green diagonal and a red knee.
TEST(LimiterGraph, EqualLevelsDrawOneBlueKneeAndDifferentOnesAGreenAndARedLine) {
  Sized<GraphLimiter> graph;
  graph.SetLevels(94, 94);
  QImage image = Render(graph);
  // 94 dB is row 20 + trunc(194 * 26 / 120) = 62; the level part ends one pixel inside the frame.
  EXPECT_TRUE(PixelIs(image, 260, 62, kBlue));
  EXPECT_TRUE(PixelIs(image, 293, 62, kBlue));
  EXPECT_TRUE(PixelIs(image, 294, 62, kFrame));
  EXPECT_FALSE(ColumnHas(image, 200, 20, 213, kGreen));
  EXPECT_TRUE(ColumnHas(image, 200, 60, 95, kBlue));  // on the diagonal below the knee
  // The band of outputs above 96 dB: trunc(194 * 0.2) = 38 rows from the top.
  EXPECT_TRUE(PixelIs(image, 100, 57, kUnsafe));
  EXPECT_TRUE(PixelIs(image, 100, 59, kPlot));

  graph.SetLevels(120, 48);
  image = Render(graph);
  // Left at 120 dB: the full diagonal, reaching the top near the right edge.
  EXPECT_TRUE(ColumnHas(image, 290, 20, 30, kGreen));
  // Right at 48 dB: level from column 21 + trunc(274 * 0.4) = 130 on row 20 + trunc(194 * 0.6) = 136.
  EXPECT_TRUE(PixelIs(image, 131, 136, kRed));
  EXPECT_TRUE(PixelIs(image, 293, 136, kRed));
  EXPECT_FALSE(ColumnHas(image, 250, 20, 213, kBlue));
}

TEST(CompressorGraph, LinesJoinTheScalesAndHatchingFillsOutsideThem) {
  const QImage image = DrawnCompressor(60, 50, 2.0);  // output top 85 dB, output threshold 55 dB
  // Blue from 120 dB in (row 20) to 85 dB out (row 20 + trunc(194 * 35 / 120) = 76); red from 60 dB in
  // (row 117) to 55 dB out (row 125). Columns 34 and 280 lie clear of the brackets' ticks.
  EXPECT_TRUE(ColumnHas(image, 34, 21, 23, kBlue));
  EXPECT_TRUE(ColumnHas(image, 280, 72, 75, kBlue));
  EXPECT_TRUE(ColumnHas(image, 34, 117, 118, kRed));
  EXPECT_TRUE(ColumnHas(image, 280, 124, 125, kRed));
  EXPECT_GT(Count(image, QRect(22, 21, 272, 40), kHatching), 100);   // above the blue line
  EXPECT_GT(Count(image, QRect(22, 150, 272, 60), kHatching), 100);  // below the red line
  EXPECT_EQ(Count(image, QRect(60, 90, 200, 20), kHatching), 0);     // between them
}

// At threshold 0 the input range reads "120 dB", wider than its box beside the plot's left edge: the
// whole text stands inside the plot, its first digit included, left of the bracket's centre tick.
TEST(CompressorGraph, TheInputRangeTextIsShownWhole) {
  const QImage image = DrawnCompressor(0, 60, 1.0);
  const QFontMetrics metrics(CGraphFrame::LabelFont(12));
  // Row of the text: the middle of 0..120 dB, row 20 + 97 = 117.
  // Text pixels: dark grey to black (antialiased), not the bracket's dark blue.
  auto text = [&image](int x) {
    for (int y = 111; y <= 129; ++y) {
      const QRgb pixel = At(image, x, y);
      if (qRed(pixel) < 110 && qBlue(pixel) < 110 && std::abs(qRed(pixel) - qBlue(pixel)) < 30) return true;
    }
    return false;
  };
  int first = -1, last = -1;
  for (int x = 22; x < 100; ++x)
    if (text(x)) {
      if (first < 0) first = x;
      last = x;
    }
  ASSERT_GE(first, 0);
  EXPECT_GE(last - first + 1, metrics.horizontalAdvance(QStringLiteral("120 dB")) - 4);
}

// Any ratio above 29 (the panel's top position, "INF") is drawn as unlimited, not as the ratio itself.
TEST(CompressorGraph, RatioAboveTwentyNineIsDrawnAsUnlimited) {
  // With center 50 and threshold 0 the 1000:1 line ends at 50.07 dB out: at column 250, row 114.
  const QImage unlimited = DrawnCompressor(0, 50, 30.0);
  EXPECT_TRUE(ColumnHas(unlimited, 250, 114, 115, kBlue) && !ColumnHas(unlimited, 250, 20, 113, kBlue));
  EXPECT_EQ(DrawnCompressor(0, 50, 29.5), unlimited);
  EXPECT_NE(DrawnCompressor(0, 50, 29.0), unlimited);
}
