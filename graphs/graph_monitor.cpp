#include "graphs/graph_monitor.h"

#include <QFontMetrics>
#include <QHideEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QShowEvent>
#include <QTimerEvent>
#include <algorithm>

#include "engine/processing_parameters.h"

namespace graphs {

using engine::MonitorSide;

namespace {
constexpr QRgb kLow = qRgb(250, 250, 0);         // segments below 20 dB
constexpr QRgb kNormal = qRgb(0, 255, 0);        // 20 .. 96 dB
constexpr QRgb kOver = qRgb(180, 0, 0);          // above 96 dB: past full scale
constexpr QRgb kNearLimit = qRgb(255, 128, 64);  // Sat segments from 2 dB below the limit up to 96 dB
constexpr QRgb kSeparator = qRgb(158, 192, 222);
constexpr QRgb kMarker = qRgb(255, 128, 128);
constexpr double kLowLevel = 20.0;
constexpr double kFullScale = 96.0;
constexpr double kNearLimitDb = 2.0;

// log10 of the band frequencies 25, 63, 160, 400, 1000, 2500, 6300 and 16000 Hz, as the axis places them.
constexpr double kBandLog[kMonitorBands] = {1.4, 1.8, 2.2, 2.6, 3.0, 3.4, 3.8, 4.2};
const char* const kBandLabels[kMonitorBands] = {"25", "63", "160", "400", "1K", "2K5", "6K3", "16K"};
// The double just below 1/3.2: the axis spans 3.2 decades from log10 = 1.2.
constexpr double kAxisScale = 0.31249999999999994;
constexpr int kSegmentPitch = 4;  // 3-pixel segments and a 1-pixel gap
}  // namespace

GraphMonitor::GraphMonitor(QWidget* parent, IMonitorSource& source)
    : CGraphFrame(parent, QMargins(24, 20, 48, 18)), source_(source) {
  setObjectName(QStringLiteral("GraphMonitor"));
  setAccessibleName(QStringLiteral("Graphic Monitor"));
}

void GraphMonitor::LayoutChanged() {
  const GraphRect& plot = PlotRect();
  const GraphRect& client = ClientRect();
  bars_ = {plot.left + 2, plot.top + 2, plot.right - 2, plot.bottom};
  sat_ = {plot.right + 12, plot.top, client.right - 10, plot.bottom};
  satInner_ = {sat_.left + 2, sat_.top + 2, sat_.right - 2, sat_.bottom};
}

void GraphMonitor::SetSide(MonitorSide side) {
  side_ = side;
  const std::array<int, 2> levels = source_.LimiterLevels();
  leftMarker_ = side == MonitorSide::kRight ? -1 : levels[0];
  rightMarker_ = side == MonitorSide::kLeft ? -1 : levels[1];
  caption_.clear();
  // An answer still waiting was asked for the old side.
  MonitorReading stale;
  source_.TakeReply(stale);
  source_.PostRequest(side_);
  update(PlotRect().ToQRect());
  update(sat_.ToQRect());
  ticking_ = true;
  timer_.start(kTickMs, this);
}

void GraphMonitor::hideEvent(QHideEvent* event) {
  timer_.stop();
  CGraphFrame::hideEvent(event);
}

void GraphMonitor::showEvent(QShowEvent* event) {
  if (ticking_) {
    // A request posted before the window was hidden may have been answered long ago: that reading is
    // dropped and a fresh one asked for.
    MonitorReading stale;
    source_.TakeReply(stale);
    source_.PostRequest(side_);
    timer_.start(kTickMs, this);
  }
  CGraphFrame::showEvent(event);
}

void GraphMonitor::timerEvent(QTimerEvent* event) {
  if (event->timerId() == timer_.timerId())
    Tick();
  else
    CGraphFrame::timerEvent(event);
}

void GraphMonitor::Tick() {
  // The answer to the previous tick's request, or zeros when the processing thread has not given it
  // (no sound flows, or it is late); then the next request. Nothing here waits for the engine.
  source_.TakeReply(reading_);
  source_.PostRequest(side_);
  const MonitorOutputFormat format = source_.OutputFormat();
  QString caption;
  if (format.channels > 0)
    caption = caption_.isEmpty() ? QString::asprintf("%d Hz; %d Bits; %d Channels", format.samplesPerSec,
                                                     format.bitsPerSample, format.channels)
                                 : caption_;
  if (caption != caption_) {
    caption_ = caption;
    update();
    return;
  }
  update(bars_.ToQRect());
  update(satInner_.ToQRect());
}

int GraphMonitor::BandCenter(int band) const {
  const GraphRect& plot = PlotRect();
  return plot.left + static_cast<int>(plot.Width() * ((kBandLog[band] - 1.4) + 0.2) * kAxisScale);
}

int GraphMonitor::BandSeparator(int band) const {
  const GraphRect& plot = PlotRect();
  return plot.left + static_cast<int>(plot.Width() * ((kBandLog[band] - 1.4) + 0.4) * kAxisScale);
}

double GraphMonitor::SegmentLevel(int r) const {
  return (1.0 - static_cast<double>(r) / (PlotRect().Height() - 4)) * kLevelScaleTop;
}

// The Sat bar turns orange from 2 dB below the limit shown: the larger one when both sides are shown.
int GraphMonitor::SatMarker() const {
  if (side_ == MonitorSide::kLeft) return leftMarker_;
  if (side_ == MonitorSide::kRight) return rightMarker_;
  return std::max(leftMarker_, rightMarker_);
}

void GraphMonitor::paintEvent(QPaintEvent* event) {
  const GraphRect& plot = PlotRect();
  const GraphRect& client = ClientRect();
  // The labels and frames lie in these margins; a tick repaints only the meters inside them.
  const GraphRect margins[] = {
      {client.left, client.top, plot.left + 2, client.bottom - 1},
      {client.left, client.top, client.right - 1, plot.top + 2},
      {plot.right - 2, client.top, sat_.left, client.bottom - 1},
      {sat_.right, client.top, client.right - 1, client.bottom - 1},
      {client.left, plot.bottom, client.right - 1, client.bottom - 1},
  };
  const QRegion& region = event->region();
  QPainter painter(this);
  if (std::any_of(std::begin(margins), std::end(margins),
                  [&](const GraphRect& r) { return region.intersects(r.ToQRect()); }))
    DrawBackground(painter);
  // The reading is already stored, so a full repaint shows the meters at once.
  if (region.intersects(bars_.ToQRect()) || region.intersects(satInner_.ToQRect())) DrawCurve(painter);
}

void GraphMonitor::DrawSeparators(QPainter& painter, const GraphRect& within) const {
  for (int band = 0; band < kMonitorBands; ++band) {
    const int x = BandSeparator(band);
    const int left = std::max(x, within.left), right = std::min(x + 3, within.right);
    Fill(painter, left, within.top, right - left, within.Height(), kSeparator);
  }
}

void GraphMonitor::DrawBackground(QPainter& painter) {
  const GraphRect& plot = PlotRect();
  Fill(painter, ClientRect(), colors::kClient);
  Fill(painter, plot, colors::kPlot);
  Fill(painter, sat_, colors::kPlot);
  DrawSeparators(painter, plot);
  Frame(painter, {plot.left - 1, plot.top - 1, plot.right + 1, plot.bottom + 1}, colors::kFrame);
  Frame(painter, {sat_.left - 1, sat_.top - 1, sat_.right + 1, sat_.bottom + 1}, colors::kFrame);
  DrawLabels(painter);
}

void GraphMonitor::DrawLabels(QPainter& painter) const {
  const GraphRect& plot = PlotRect();
  const GraphRect& client = ClientRect();
  painter.setPen(QColor(colors::kText));
  painter.setFont(LabelFont(14));
  for (int band = 0; band < kMonitorBands; ++band) {
    const int center = BandCenter(band);
    Text(painter, {center - 10, plot.bottom, center + 10, plot.bottom + 12}, QString::fromLatin1(kBandLabels[band]),
         Align::Center);
  }
  // In the label font "16K", "(Hz)" and "Sat" would run together under the plot's right end: "Sat" ends
  // at its bar's right edge, and the unit goes between it and the last band's label, in the smaller font of
  // the curve texts, on the same baseline.
  const QFontMetrics metrics(painter.font());
  const int lastLabelEnd = BandCenter(kMonitorBands - 1) +
                           (metrics.horizontalAdvance(QString::fromLatin1(kBandLabels[kMonitorBands - 1])) + 1) / 2;
  const int satStart = sat_.right - 1 - metrics.horizontalAdvance(QStringLiteral("Sat"));
  Text(painter, {satStart, sat_.bottom, sat_.right, sat_.bottom + 12}, QStringLiteral("Sat"), Align::Left);
  painter.setFont(LabelFont(12));
  const int baseline = metrics.ascent() - QFontMetrics(painter.font()).ascent();
  Text(painter, {lastLabelEnd, plot.bottom + baseline, satStart, plot.bottom + 12}, QStringLiteral("(Hz)"),
       Align::Center);
  painter.setFont(LabelFont(14));
  for (int level = 0; level <= kLevelScaleTop; level += 20) {
    const int y = LevelRow(level);
    Text(painter, {client.left - 8, y - 6, plot.left - 3, y + 12}, QString::number(level), Align::Right);
  }
  Text(painter, {plot.left - 2, plot.top - 15, plot.left + 38, plot.top - 1}, QStringLiteral("dB(SPL)"), Align::Left);
  Text(painter, {plot.left + 40, plot.top - 15, plot.right, plot.top - 1}, caption_, Align::Right);
}

void GraphMonitor::DrawBars(QPainter& painter) const {
  const GraphRect& plot = PlotRect();
  for (int band = 0; band < kMonitorBands; ++band) {
    const int center = BandCenter(band);
    for (int r = plot.Height() - kSegmentPitch; r > 0; r -= kSegmentPitch) {
      const double level = SegmentLevel(r);
      QRgb color = colors::kPlot;
      if (level <= reading_.bands[band] || level <= 0.0)
        color = level > kFullScale ? kOver : (level < kLowLevel ? kLow : kNormal);
      Fill(painter, center - 10, plot.top + r, 22, 3, color);
    }
  }
}

void GraphMonitor::DrawSatBar(QPainter& painter) const {
  const int marker = SatMarker();
  for (int r = sat_.Height() - kSegmentPitch; r > 0; r -= kSegmentPitch) {
    const double level = SegmentLevel(r);
    QRgb color = colors::kPlot;
    if (level <= reading_.total || level <= 0.0)
      color = level > kFullScale ? kOver : (level < marker - kNearLimitDb ? kNormal : kNearLimit);
    Fill(painter, sat_.left + 5, sat_.top + r, 16, 3, color);
  }
}

void GraphMonitor::DrawMarker(QPainter& painter) const {
  const int marker = std::max(leftMarker_, rightMarker_);
  if (marker < 1) return;
  const GraphRect& plot = PlotRect();
  const int y = LevelRow(marker) - plot.top;
  Fill(painter, plot.left, plot.top + y, plot.Width(), 1, kMarker);
  Fill(painter, sat_.left, sat_.top + y, sat_.Width(), 1, kMarker);
}

void GraphMonitor::DrawCurve(QPainter& painter) {
  // The gaps between segments and bars, so the meters need nothing else repainted.
  Fill(painter, bars_, colors::kPlot);
  Fill(painter, satInner_, colors::kPlot);
  DrawSeparators(painter, bars_);
  DrawBars(painter);
  DrawSatBar(painter);
  DrawMarker(painter);
}

}  // namespace graphs
