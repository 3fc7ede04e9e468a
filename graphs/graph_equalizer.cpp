#include "graphs/graph_equalizer.h"

#include <QPainter>
#include <QPolygon>
#include <cmath>

namespace graphs {

namespace {
constexpr QRgb kMajorLine = qRgb(0, 0, 0);  // decades and 0 dB
constexpr double kLowestHz = 20.0;
constexpr double kHighestHz = 20000.0;
constexpr int kTopGain = 12;  // dB at the plot's top; the bottom is 48 dB lower
constexpr int kGainSpan = 48;
constexpr int kGainStep = 12;  // dB between gain grid lines

// Frequency labels stand at 30, 100, 300, 1K, 3K, 10K and 20K whatever the plot's width.
bool Labelled(int f) {
  return (f < 60 && f % 30 == 0) || (f < 600 && f % 300 == 0) || (f < 6000 && f % 3000 == 0) ||
         (f < 60000 && f % 30000 == 0) || f == 20000;
}

QString FrequencyLabel(int f) {
  if (f < 1000) return QString::number(f);
  if (f % 1000 == 0) return QStringLiteral("%1K").arg(f / 1000);
  return QString::asprintf("%.1fK", static_cast<double>(f * 0.001f));
}
}  // namespace

GraphEqualizer::GraphEqualizer(QWidget* parent) : CGraphFrame(parent, QMargins(21, 20, 23, 18)) {
  setObjectName(QStringLiteral("GraphEqualizer"));
  setAccessibleName(QStringLiteral("Graphic Equalizer"));
}

void GraphEqualizer::SetCurves(const settings::CCurve& left, const settings::CCurve& right) {
  shownLeft_ = left;
  shownRight_ = right;
  sameCurves_ = shownLeft_.SameAs(shownRight_);
  LayoutChanged();
  InvalidatePlot();
}

void GraphEqualizer::LayoutChanged() {
  leftRows_ = Trace(shownLeft_);
  rightRows_ = sameCurves_ ? std::vector<int>() : Trace(shownRight_);
}

int GraphEqualizer::FrequencyColumn(double frequency) const {
  const GraphRect& plot = PlotRect();
  return plot.left + static_cast<int>(plot.Width() * std::log10(frequency * 0.05) / std::log10(1000.0));
}

void GraphEqualizer::DrawFrequencyLine(QPainter& painter, int frequency, QRgb color, bool labelled) const {
  const GraphRect& plot = PlotRect();
  const int x = FrequencyColumn(frequency);
  Fill(painter, x, plot.top, 1, plot.Height(), color);
  if (labelled)
    Text(painter, {x - 32, plot.bottom, x + 36, plot.bottom + 12}, FrequencyLabel(frequency), Align::Center);
}

void GraphEqualizer::DrawBackground(QPainter& painter) {
  const GraphRect& plot = PlotRect();
  const GraphRect& client = ClientRect();
  FillClientAndPlot(painter);
  for (int decade = 1; decade <= 10000; decade *= 10) {
    if (decade > kLowestHz) DrawFrequencyLine(painter, decade, kMajorLine, true);
    for (int f = 2 * decade; f < 10 * decade; f += decade) {
      if (f > kHighestHz) break;
      if (f <= kLowestHz) continue;
      DrawFrequencyLine(painter, f, colors::kGrid, Labelled(f));
    }
  }
  Text(painter, {plot.right, plot.bottom - 13, client.right, plot.bottom}, QStringLiteral("(Hz)"), Align::Right);
  for (int below = kGainSpan; below >= 0; below -= kGainStep) {
    const int y = plot.top + plot.Height() * below / kGainSpan;
    const int gain = kTopGain - below;
    if (below > 0 && below < kGainSpan)
      Fill(painter, plot.left, y, plot.Width(), 1, gain == 0 ? kMajorLine : colors::kGrid);
    Text(painter, {client.left, y - 6, plot.left - 3, y + 12}, QString::number(gain), Align::Right);
  }
  Text(painter, {plot.left + 1, plot.top - 14, plot.left + 32, plot.top}, QStringLiteral("(dB)"), Align::Left);
  Frame(painter, plot, colors::kFrame);
}

std::vector<int> GraphEqualizer::Trace(settings::CCurve& curve) const {
  const GraphRect& plot = PlotRect();
  const int w = plot.Width();
  if (curve.PointCount() == 0 || w <= 0) return {};
  if (!curve.fitted) curve.Fit();
  curve.cursor = 1;  // columns run left to right, so the spline's cursor rarely has to search
  std::vector<int> rows(w);
  for (int i = 0; i < w; ++i) {
    const double f = std::pow(10.0, std::log10(kLowestHz) + (double(i) / w) * std::log10(1000.0));
    const double gain = curve.spline.Evaluate(std::log10(f > 1e-20 ? f : 1e-20), curve.cursor);
    const double y = plot.top + (kTopGain - gain) * plot.Height() / kGainSpan;
    // Gains beyond the scale stay on the plot's top row or the row above its bottom edge (a non-finite
    // gain too).
    rows[i] = y < plot.top ? plot.top : (y < plot.bottom ? static_cast<int>(y) : plot.bottom - 1);
  }
  return rows;
}

void GraphEqualizer::DrawTrace(QPainter& painter, const std::vector<int>& rows, QRgb color) const {
  if (rows.empty()) return;
  QPolygon line(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) line.setPoint(i, PlotRect().left + i, rows[i]);
  painter.setPen(LinePen(color));
  if (rows.size() == 1)
    painter.drawPoint(line.point(0));
  else
    painter.drawPolyline(line);
}

void GraphEqualizer::DrawCurve(QPainter& painter) {
  DrawTrace(painter, leftRows_, sameCurves_ ? colors::kSameCurve : colors::kLeftCurve);
  if (!sameCurves_) DrawTrace(painter, rightRows_, colors::kRightCurve);
}

}  // namespace graphs
