#pragma once
#include "panels/form_base.h"

class QButtonGroup;
class QLabel;

namespace graphs {
class GraphMonitor;
}

namespace panels {

// The "Monitor" tab: a picture, the level meter and the side whose levels it shows. The side is read
// from the registry when the panel opens and written back when it closes.
class CFormMonitor : public CFormBase {
 public:
  CFormMonitor(PanelState& state, QWidget* parent = nullptr);
  ~CFormMonitor() override;
  void InitialUpdate() override;

  QButtonGroup* Sides() const { return sides_; }
  QLabel* Picture() const { return picture_; }
  graphs::GraphMonitor* Graph() const { return graph_; }

 private:
  void OnSide(int side);

  QLabel* picture_ = nullptr;
  QButtonGroup* sides_ = nullptr;
  graphs::GraphMonitor* graph_ = nullptr;
};

}  // namespace panels
