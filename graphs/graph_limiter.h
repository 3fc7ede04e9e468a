#pragma once
#include "graphs/graph_frame.h"

namespace graphs {

// The limiter panel's graph: the static transfer curve (input across, output up, both 0 .. 120 dB) of
// each side's limit, over a red band for output levels above 96 dB.
class GraphLimiter : public CGraphFrame {
  Q_OBJECT
 public:
  explicit GraphLimiter(QWidget* parent = nullptr);

  // Limits of the left and right side in dB; repaints the plot.
  void SetLevels(int left, int right);

 protected:
  void DrawBackground(QPainter& painter) override;
  void DrawCurve(QPainter& painter) override;

 private:
  void DrawKnee(QPainter& painter, int level, QRgb color, bool kneeInside) const;

  int leftLevel_ = 0;
  int rightLevel_ = 0;
  bool same_ = false;
};

}  // namespace graphs
