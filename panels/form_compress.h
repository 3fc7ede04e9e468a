#pragma once
#include <array>

#include "panels/form_base.h"
#include "settings/compressor_values.h"

class QButtonGroup;
class QLabel;
class QSlider;

namespace graphs {
class GraphCompress;
}

namespace panels {

class LabelFollower;

// The "Compression" tab: Center, Rate, Threshold, Attack and Release of the left and/or right compressor,
// their value labels (refreshed every 25 ms), the side choice and the compressor's graph.
class CFormCompress : public CFormBase {
 public:
  enum Slider { kCenter, kRate, kThreshold, kAttack, kRelease, kSliders };

  CFormCompress(PanelState& state, QWidget* parent = nullptr);
  void InitialUpdate() override;

  QSlider* ValueSlider(Slider slider) const { return sliders_[slider]; }
  QLabel* ValueLabel(Slider slider) const { return labels_[slider]; }
  QButtonGroup* Sides() const { return sides_; }
  graphs::GraphCompress* Graph() const { return graph_; }
  // What the label timer does.
  void RefreshLabels();

 protected:
 private:
  settings::CompressorPair& Values() { return state_.configuration.compressorValues; }
  void ShowRecord(const settings::CompressorValues& values);
  settings::CompressorValues RecordFromPositions() const;
  void HandToEngine();
  void OnSlider();
  void OnSide(int side);

  std::array<QSlider*, kSliders> sliders_{};
  std::array<QLabel*, kSliders> labels_{};
  std::array<int, kSliders> positions_{};
  QButtonGroup* sides_ = nullptr;
  graphs::GraphCompress* graph_ = nullptr;
  LabelFollower* labelFollower_ = nullptr;
  bool busy_ = true;  // until the end of the initial update: the label timer waits for real positions
};

}  // namespace panels
