#pragma once
#include <array>

#include "panels/form_base.h"
#include "settings/curve.h"

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QSlider;

namespace graphs {
class GraphEqualizer;
}

namespace panels {

// The "Equalizer" tab: eight band sliders editing the left and/or right curve at the band frequencies,
// the side choice, Gather (the other points follow a moved one), Flate, and the curves' graph. Every
// user change reaches the engine's band gains at once and marks the configuration modified.
class CFormEqualizer : public CFormBase {
 public:
  static constexpr int kBands = 8;

  CFormEqualizer(PanelState& state, QWidget* parent = nullptr);
  void InitialUpdate() override;

  QSlider* BandSlider(int band) const { return bands_[band]; }
  QButtonGroup* Sides() const { return sides_; }
  QCheckBox* CurveGather() const { return curveGather_; }
  QPushButton* FlatButton() const { return flat_; }
  graphs::GraphEqualizer* Graph() const { return graph_; }

 private:
  settings::CCurve& LeftCurve() { return state_.configuration.leftCurve; }
  settings::CCurve& RightCurve() { return state_.configuration.rightCurve; }
  settings::CCurve& ShownCurve();

  // Shows one curve on the sliders and the Gather box, both curves on the graph, and hands both to the engine.
  void Refresh(settings::CCurve& curve);
  void ClampToSliders();
  void OnBandSlider(int band);
  void CarrySlider(settings::CCurve& curve, int band);
  void OnGather();
  void OnFlat();
  void OnSide(int side);

  std::array<QSlider*, kBands> bands_{};
  std::array<int, kBands> positions_{};
  QButtonGroup* sides_ = nullptr;
  QCheckBox* curveGather_ = nullptr;
  QPushButton* flat_ = nullptr;
  graphs::GraphEqualizer* graph_ = nullptr;
};

}  // namespace panels
