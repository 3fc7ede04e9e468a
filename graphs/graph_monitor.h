#pragma once
#include <QBasicTimer>

#include "graphs/graph_frame.h"
#include "graphs/monitor_source.h"

namespace graphs {

// The monitor panel's level meter: eight band bars of 3-pixel segments on 0 .. 120 dB SPL, a "Sat" bar
// for the overall level with a marker at the limiter's limit, and a caption with the output format.
// Every 100 ms it shows the engine's answer to the previous request (zeros if there is none yet) and
// asks again; it never waits for the engine.
class GraphMonitor : public CGraphFrame {
  Q_OBJECT
 public:
  static constexpr int kTickMs = 100;

  GraphMonitor(QWidget* parent, IMonitorSource& source);

  // Chooses the side shown, takes the markers from the limiter's
  // levels, and restarts the 100 ms timer.
  void SetSide(engine::MonitorSide side);
  // One timer tick: takes the reply, asks again, repaints the meters (and the caption when it changes).
  // Public so tests and the benchmark can step the graph.
  void Tick();

 protected:
  void DrawBackground(QPainter& painter) override;
  void DrawCurve(QPainter& painter) override;
  void LayoutChanged() override;
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  // Hidden (the window in the notification area, another tab), it neither ticks nor asks the engine for
  // readings, so the processing thread does no level analysis for nobody.
  void hideEvent(QHideEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  int BandCenter(int band) const;
  int BandSeparator(int band) const;
  int SatMarker() const;
  // The level a segment r pixels below the plot's top stands for.
  double SegmentLevel(int r) const;
  void DrawLabels(QPainter& painter) const;
  void DrawSeparators(QPainter& painter, const GraphRect& within) const;
  void DrawBars(QPainter& painter) const;
  void DrawSatBar(QPainter& painter) const;
  void DrawMarker(QPainter& painter) const;

  IMonitorSource& source_;
  QBasicTimer timer_;
  bool ticking_ = false;  // SetSide has started the meter
  engine::MonitorSide side_ = engine::MonitorSide::kLeft;
  int leftMarker_ = -1;  // limit shown as the marker, -1 = none
  int rightMarker_ = -1;
  QString caption_;
  MonitorReading reading_;
  // Layout, from the plot rectangle.
  GraphRect bars_;      // where the band segments go
  GraphRect sat_;       // the Sat bar's rectangle
  GraphRect satInner_;  // where its segments go
};

}  // namespace graphs
