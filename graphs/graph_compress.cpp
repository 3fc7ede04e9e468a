#include "graphs/graph_compress.h"

#include <QPainter>
#include <algorithm>

#include "engine/compressor.h"

namespace graphs {

namespace {
constexpr QRgb kHatching = qRgb(102, 102, 102);
constexpr int kHatchSpacing = 15;  // columns between hatching lines
constexpr int kHatchReach = 200;   // columns a hatching line spans at most; it climbs two rows per column
constexpr int kScaleStep = 24;
constexpr double kSmallestLabelledRange = 2.0;  // dB; a narrower output range has no text or bracket lines
}  // namespace

GraphCompress::GraphCompress(QWidget* parent) : CGraphFrame(parent, QMargins(21, 20, 23, 18)) {
  setObjectName(QStringLiteral("GraphCompress"));
  setAccessibleName(QStringLiteral("Graphic Compress"));
}

void GraphCompress::SetValues(int threshold, int center, double rate) {
  threshold_ = threshold;
  // A ratio the panel cannot set (zero, negative, not a number) is drawn as the engine runs it: transparent.
  if (!(rate > 0.0)) rate = 1.0;
  rate_ = rate > kLargestDrawnRate ? kUnlimitedRate : rate;
  // The engine's own curve (linear in the level, so dB SPL serve as well as its log10 amplitudes).
  outputTop_ = engine::CCompressor::OutputLevel(kLevelScaleTop, threshold, center, rate_);
  outputThreshold_ = engine::CCompressor::OutputLevel(threshold, threshold, center, rate_);
  InvalidatePlot();
}

void GraphCompress::DrawBackground(QPainter& painter) {
  const GraphRect& plot = PlotRect();
  const GraphRect& client = ClientRect();
  const int w = plot.Width(), h = plot.Height();
  FillClientAndPlot(painter);
  for (int i = 10; i <= 90; i += 10)
    Fill(painter, plot.left + static_cast<int>(w * i * 0.01), plot.top, 1, h, colors::kGrid);
  for (int level = 0; level <= kLevelScaleTop; level += kScaleStep) {
    const int y = LevelRow(level);
    if (level > 0 && level < kLevelScaleTop) Fill(painter, plot.left, y, w, 1, colors::kGrid);
    const QString number = QString::number(level);
    Text(painter, {client.left, y - 6, plot.left - 3, y + 12}, number, Align::Right);
    Text(painter, {plot.right + 5, y - 6, client.right, y + 12}, number, Align::Left);
  }
  // Four pixels in rather than one, clear of the "120" that fills the margin beside it.
  Text(painter, {plot.left + 4, plot.top - 14, plot.left + 35, plot.top}, QStringLiteral("IN"), Align::Left);
  Text(painter, {plot.right - 21, plot.top - 14, plot.right, plot.top}, QStringLiteral("OUT"), Align::Left);
  Frame(painter, plot, colors::kFrame);
}

// Hatching lines every 15 columns: upwards to the right from the blue line, or downwards to the right
// from the red line, two rows per column, each ending at the plot's right edge or its top or bottom.
void GraphCompress::DrawHatching(QPainter& painter, bool upwards) const {
  const GraphRect& plot = PlotRect();
  const int w = plot.Width(), h = plot.Height();
  painter.setPen(LinePen(kHatching));
  for (int x = 0; x < w; x += kHatchSpacing) {
    // The blue line's row counts down from the top; the red line's is a level on the scale.
    const int y0 = upwards ? plot.top + PixelOffset(h * ((kLevelScaleTop - outputTop_) * x / w) / kLevelScaleTop)
                           : LevelRow(threshold_ + (outputThreshold_ - threshold_) * x / w);
    const int direction = upwards ? -1 : 1;
    int endX = x + kHatchReach, endY = y0 + direction * 2 * kHatchReach;
    if (endX > w) {
      endX = w;
      endY = y0 + direction * 2 * (w - x);
    }
    if (upwards && endY < plot.top) {
      endX = (y0 - plot.top) / 2 + x;
      endY = plot.top;
    } else if (!upwards && endY > plot.bottom) {
      endX = (plot.bottom - y0) / 2 + x;
      endY = plot.bottom;
    }
    Line(painter, QPoint(plot.left + x, y0), QPoint(plot.left + endX, endY));
  }
}

// The input range (threshold .. 120 dB) on the left edge and the output range on the right edge, each
// with ticks at its ends, a dimension line broken around its text, and the text.
void GraphCompress::DrawBrackets(QPainter& painter) const {
  const GraphRect& plot = PlotRect();
  painter.setFont(LabelFont(12));
  painter.setPen(QColor(colors::kText));
  const int middle = (kLevelScaleTop - threshold_) / 2 + threshold_;
  const int ym = LevelRow(middle);
  // The range texts stand inside the plot: the grid and hatching under them are cleared so that no line
  // runs through a digit. A text wider than its box ("120 dB") is moved in from the plot's edge rather
  // than cut by it.
  auto label = [&painter, &plot](const GraphRect& box, const QString& text) {
    QRect place = box.ToQRect();
    const int flags = int(Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip);
    const QRect drawn = painter.boundingRect(place, flags, text);
    if (drawn.left() <= plot.left + 1)
      place.translate(plot.left + 2 - drawn.left(), 0);
    else if (drawn.right() >= plot.right)
      place.translate(plot.right - 1 - drawn.right(), 0);
    painter.fillRect(painter.boundingRect(place, flags, text), QColor(colors::kPlot));
    painter.drawText(place, flags, text);
  };
  label({plot.left, ym - 6, plot.left + 31, ym + 12}, QStringLiteral("%1 dB").arg(kLevelScaleTop - threshold_));
  const double range = outputTop_ - outputThreshold_;
  const bool labelled = range > kSmallestLabelledRange;
  const int yr = LevelRow(outputThreshold_ + range * 0.5);
  if (labelled) label({plot.right - 30, yr - 6, plot.right, yr + 12}, QString::asprintf("%.0f dB", range));

  painter.setPen(LinePen(colors::kFrame));
  const int yt = std::min(LevelRow(threshold_), plot.bottom - 1);
  Line(painter, {plot.left + 1, plot.top}, {plot.left + 13, plot.top});
  Line(painter, {plot.left + 7, plot.top}, {plot.left + 7, ym - 8});
  Line(painter, {plot.left + 1, yt}, {plot.left + 13, yt});
  Line(painter, {plot.left + 7, yt}, {plot.left + 7, ym + 6});

  const int yTop = LevelRow(outputTop_);
  const int yo = std::min(LevelRow(outputThreshold_), plot.bottom - 1);
  Line(painter, {plot.right - 1, yTop}, {plot.right - 13, yTop});
  if (labelled) Line(painter, {plot.right - 7, yTop}, {plot.right - 7, yr - 8});
  Line(painter, {plot.right - 1, yo}, {plot.right - 13, yo});
  if (labelled) Line(painter, {plot.right - 7, yo}, {plot.right - 7, yr + 6});
}

void GraphCompress::DrawCurve(QPainter& painter) {
  const GraphRect& plot = PlotRect();
  painter.setPen(LinePen(colors::kSameCurve));
  Line(painter, {plot.left + 1, plot.top}, {plot.right - 1, LevelRow(outputTop_)});
  DrawHatching(painter, true);
  painter.setPen(LinePen(colors::kRightCurve));
  Line(painter, {plot.left + 1, std::min(LevelRow(threshold_), plot.bottom - 1)},
       {plot.right - 1, std::min(LevelRow(outputThreshold_), plot.bottom - 1)});
  DrawHatching(painter, false);
  DrawBrackets(painter);
}

}  // namespace graphs
