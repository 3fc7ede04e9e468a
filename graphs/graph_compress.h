#pragma once
#include "graphs/graph_frame.h"

namespace graphs {

// The compressor panel's graph: the input range (threshold .. 120 dB, left scale) and the output range
// it is compressed into (right scale), joined by a blue line from 120 dB and a red line from the
// threshold, with hatching outside and dimension brackets.
class GraphCompress : public CGraphFrame {
  Q_OBJECT
 public:
  // Ratios above this are drawn as unlimited compression (kUnlimitedRate).
  static constexpr double kLargestDrawnRate = 29.0;
  static constexpr double kUnlimitedRate = 1000.0;

  explicit GraphCompress(QWidget* parent = nullptr);

  // Threshold and center in dB, rate as the ratio; repaints the plot.
  void SetValues(int threshold, int center, double rate);

 protected:
  void DrawBackground(QPainter& painter) override;
  void DrawCurve(QPainter& painter) override;

 private:
  void DrawHatching(QPainter& painter, bool upwards) const;
  void DrawBrackets(QPainter& painter) const;

  int threshold_ = 0;
  double rate_ = 0.0;
  double outputTop_ = 0.0;        // output level of a 120 dB input
  double outputThreshold_ = 0.0;  // output level of an input at the threshold
};

}  // namespace graphs
