#pragma once
#include <QBasicTimer>
#include <array>

#include "panels/form_base.h"

class QButtonGroup;
class QLabel;
class QSlider;

namespace graphs {
class GraphLimiter;
}

namespace panels {

// The "Limiter" tab: Limit, Attack and Release of the left and/or right limiter, their labels and the
// warning line (refreshed every 25 ms), the side choice and the graph. The values live in the registry.
class CFormLimiter : public CFormBase {
 public:
  enum Slider { kLimit, kAttack, kRelease, kSliders };
  static constexpr int kLabelRefreshMs = 25;

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
  void timerEvent(QTimerEvent* event) override;
  // The labels follow the sliders only while they can be seen: a hidden window wakes nobody.
  void hideEvent(QHideEvent* event) override;
  void showEvent(QShowEvent* event) override;

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
  QBasicTimer labelTimer_;
  bool labelsFollow_ = false;  // set once the panel is filled in
};

}  // namespace panels
