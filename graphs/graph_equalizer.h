#pragma once
#include <vector>

#include "graphs/graph_frame.h"
#include "settings/curve.h"

namespace graphs {

// The equalizer panel's graph: the left and right curves over 20 Hz .. 20 kHz (logarithmic) and
// +12 .. -36 dB; one blue curve when the two agree, else green (left) and red (right).
class GraphEqualizer : public CGraphFrame {
  Q_OBJECT
 public:
  explicit GraphEqualizer(QWidget* parent = nullptr);

  // Copies both curves (the graph fits and walks its own copies) and repaints the plot.
  void SetCurves(const settings::CCurve& left, const settings::CCurve& right);

 protected:
  void DrawBackground(QPainter& painter) override;
  void DrawCurve(QPainter& painter) override;
  void LayoutChanged() override;

 private:
  int FrequencyColumn(double frequency) const;
  void DrawFrequencyLine(QPainter& painter, int frequency, QRgb color, bool labelled) const;
  // The row of each plot column for one curve copy, clamped into the plot; empty without points.
  std::vector<int> Trace(settings::CCurve& curve) const;
  void DrawTrace(QPainter& painter, const std::vector<int>& rows, QRgb color) const;

  settings::CCurve shownLeft_;
  settings::CCurve shownRight_;
  bool sameCurves_ = false;
  std::vector<int> leftRows_, rightRows_;  // derived from the copies whenever they or the plot change
};

}  // namespace graphs
