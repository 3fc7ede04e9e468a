#include "graphs/graph_limiter.h"

#include <QPainter>

namespace graphs {

namespace {
constexpr QRgb kUnsafeBand = qRgb(255, 128, 128);  // output levels above full scale
constexpr int kScaleStep = 24;                     // dB between grid lines and numbers
}  // namespace

GraphLimiter::GraphLimiter(QWidget* parent) : CGraphFrame(parent, QMargins(21, 20, 23, 18)) {
  setObjectName(QStringLiteral("GraphLimiter"));
  setAccessibleName(QStringLiteral("Graphic Limiter"));
}

void GraphLimiter::SetLevels(int left, int right) {
  leftLevel_ = left;
  rightLevel_ = right;
  same_ = left == right;
  InvalidatePlot();
}

void GraphLimiter::DrawBackground(QPainter& painter) {
  const GraphRect& plot = PlotRect();
  const GraphRect& client = ClientRect();
  const int w = plot.Width(), h = plot.Height();
  FillClientAndPlot(painter);
  // The top fifth of the plot: outputs above 96 of the 120 dB.
  const int band = static_cast<int>(h * 0.2);
  Fill(painter, plot.left, plot.top, w, band, kUnsafeBand);

  for (int v = 0; v <= kLevelScaleTop; v += kScaleStep) {
    // The input grid spans one column more than the curve's scale, so its 120 dB line would fall just
    // outside the frame (it is not drawn) and the inner lines sit up to a pixel right of LevelColumn.
    const int x = (w + 1) * v / kLevelScaleTop;
    if (v >= 1 && v < kLevelScaleTop) Fill(painter, plot.left + x, plot.top, 1, h, colors::kGrid);
    Text(painter, {plot.left + x - 32, plot.bottom, plot.left + x + 36, plot.bottom + 12}, QString::number(v),
         Align::Center);
  }
  Text(painter, {plot.right, plot.bottom - 13, client.right, plot.bottom}, QStringLiteral("IN"), Align::Center);
  for (int level = 0; level <= kLevelScaleTop; level += kScaleStep) {
    const int y = LevelRow(level);
    if (level > 0 && level < kLevelScaleTop) Fill(painter, plot.left, y, w, 1, colors::kGrid);
    Text(painter, {client.left, y - 6, plot.left - 3, y + 12}, QString::number(level), Align::Right);
  }
  // Four pixels in rather than one, clear of the "120" that fills the margin beside it.
  Text(painter, {plot.left + 4, plot.top - 14, plot.left + 35, plot.top}, QStringLiteral("OUT"), Align::Left);
  Frame(painter, plot, colors::kFrame);
}

// The transfer curve of one limit: the diagonal from the plot's lower left up to the limit, then level.
// Only the second curve keeps its knee inside the plot; the first one's knee at 120 dB lies on the column
// right of the frame, as it always has.
void GraphLimiter::DrawKnee(QPainter& painter, int level, QRgb color, bool kneeInside) const {
  const GraphRect& plot = PlotRect();
  painter.setPen(LinePen(color));
  const int row = LevelRow(level);
  const int kneeX = kneeInside ? std::min(LevelColumn(level), plot.right - 1) : LevelColumn(level);
  const QPoint start(plot.left + 1, plot.bottom - 1), knee(kneeX, row), end(plot.right - 1, row);
  Line(painter, start, knee);
  Line(painter, knee, end);
}

void GraphLimiter::DrawCurve(QPainter& painter) {
  DrawKnee(painter, leftLevel_, same_ ? colors::kSameCurve : colors::kLeftCurve, false);
  if (!same_) DrawKnee(painter, rightLevel_, colors::kRightCurve, true);
}

}  // namespace graphs
