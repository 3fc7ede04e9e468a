#include "panels/form_monitor.h"

#include <QButtonGroup>
#include <QLabel>
#include <QPixmap>

#include "graphs/graph_monitor.h"
#include "panels/panel_registry.h"
#include "panels/template_controls.h"
#include "widgets/dialog_units.h"

// The picture is compiled into the library; a static library needs its resources registered by name.
static void RegisterPanelResources() { Q_INIT_RESOURCE(panel_resources); }

namespace panels {

CFormMonitor::CFormMonitor(PanelState& state, QWidget* parent) : CFormBase(state, parent) {
  RegisterPanelResources();
  picture_ = new QLabel(this);
  const QPixmap pixmap(QStringLiteral(":/tonvex/monitor_picture.png"));
  picture_->setPixmap(pixmap);
  picture_->setGeometry(QRect(widgets::DialogRect(102, 41, 101, 94).topLeft(), pixmap.size()));
  graph_ = new graphs::GraphMonitor(this, state.monitorSource);
  graph_->setGeometry(widgets::DialogRect(228, 28, 240, 143));
  sides_ = MakeSideButtons(this);
  connect(sides_, &QButtonGroup::idClicked, this, &CFormMonitor::OnSide);
}

CFormMonitor::~CFormMonitor() { SaveMonitorSide(state_); }

void CFormMonitor::InitialUpdate() {
  CFormBase::InitialUpdate();
  LoadMonitorSide(state_);
  CheckSide(sides_, state_.monitorSide);
  graph_->SetSide(MonitorSideOf(state_.monitorSide));
}

// Stored at once as well as when the panel closes: a panel that replaces this one (the first tab shown
// anew after a load) reads the registry before this one is gone, and would otherwise bring back the old side.
void CFormMonitor::OnSide(int side) {
  state_.monitorSide = side;
  graph_->SetSide(MonitorSideOf(side));
  SaveMonitorSide(state_);
}

}  // namespace panels
