#pragma once
#include <array>

#include "panels/form_base.h"

class QButtonGroup;
class QLabel;
class QSlider;

namespace graphs {
class GraphLimiter;
}

namespace panels {

class LabelFollower;

// The "Limiter" tab: Limit, Attack and Release of the left and/or right limiter, their labels and the
// warning line (refreshed every 25 ms), the side choice and the graph. The values live in the registry.
class CFormLimiter : public CFormBase {
 public:
  enum Slider { kLimit, kAttack, kRelease, kSliders };

  CFormLimiter(PanelState& state, QWidget* parent = nullptr);
  void InitialUpdate() override;

  QSlider* ValueSlider(Slider slider) const { return sliders_[slider]; }
  QLabel* ValueLabel(Slider slider) const { return labels_[slider]; }
  QLabel* Warning() const { return warning_; }
  QButtonGroup* Sides() const { return sides_; }
  graphs::GraphLimiter* Graph() const { return graph_; }
  // What the label timer does.
  void RefreshLabels();

 protected:
 private:
  LimiterValues& ShownRecord();
  void ShowRecord(const LimiterValues& values);
  void ShowLevels();
  void HandToEngine();
  void OnSlider();
  void OnSide(int side);

  std::array<QSlider*, kSliders> sliders_{};
  std::array<QLabel*, kSliders> labels_{};
  std::array<int, kSliders> positions_{};
  QLabel* warning_ = nullptr;
  QButtonGroup* sides_ = nullptr;
  graphs::GraphLimiter* graph_ = nullptr;
  LabelFollower* labelFollower_ = nullptr;
};

}  // namespace panels
