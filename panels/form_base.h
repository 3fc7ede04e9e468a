#pragma once
#include <QWidget>
#include <functional>

#include "panels/panel_state.h"

class QCheckBox;
class QFrame;
class QLabel;
class QSlider;
class QTabBar;

namespace widgets {
class CLinkLabel;
}

namespace panels {

// What every panel shows in the same place: the two output-volume sliders with their dB labels and
// painted scale, "Gather" linking them, the tab strip and the link to the maker's site. A panel lives
// while its tab is selected; everything that must outlive it is in the PanelState.
class CFormBase : public QWidget {
 public:
  // Panels are 482 x 186 dialog units.
  static constexpr int kWidthUnits = 482;
  static constexpr int kHeightUnits = 186;
  static constexpr const char* kSiteUrl = "https://www.brevalto.com/";

  CFormBase(PanelState& state, QWidget* parent);

  // Brings the controls in line with the shared values; the host calls it once, right after creating
  // the panel. Derived panels run the base's first.
  virtual void InitialUpdate();

  // Called with the tab's index when the user selects another tab (the host switches panels).
  std::function<void(int)> tabSelected;

  QSlider* VolumeSlider(int channel) const { return volume_[channel]; }
  QLabel* VolumeLabel(int channel) const { return volumeLabel_[channel]; }
  QCheckBox* GatherBox() const { return gather_; }
  QTabBar* Tabs() const { return tabs_; }

 protected:
  PanelState& state_;

 private:
  void OnVolumeSlider(int channel);
  void OnGather();
  void ShowVolumeLabel(int channel);
  int& VolumePosition(int channel);

  QFrame* pane_ = nullptr;
  QTabBar* tabs_ = nullptr;
  QSlider* volume_[2] = {};
  QLabel* volumeLabel_[2] = {};
  QCheckBox* gather_ = nullptr;
  widgets::CLinkLabel* link_ = nullptr;
};

}  // namespace panels
