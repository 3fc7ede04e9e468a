#include "panels/panel_host.h"

#include <QSignalBlocker>
#include <QTabBar>
#include <exception>

#include "panels/form_base.h"
#include "panels/form_compress.h"
#include "panels/form_equalizer.h"
#include "panels/form_limiter.h"
#include "panels/form_monitor.h"
#include "panels/string_ids.h"
#include "platform/debug_output.h"
#include "widgets/dialog_units.h"
#include "widgets/ui_text.h"

namespace panels {

PanelHost::PanelHost(PanelState& state, QWidget* parent) : QWidget(parent), state_(state) {
  setFixedSize(widgets::DialogRect(0, 0, CFormBase::kWidthUnits, CFormBase::kHeightUnits).size());
}

PanelHost::~PanelHost() { delete current_; }

void PanelHost::AddPanelTab(const std::string& title, std::function<CFormBase*(PanelState&)> create) {
  state_.panelTabs.push_back({title, std::move(create)});
}

void PanelHost::AddStandardPanelTabs() {
  auto title = [](int id) { return widgets::UiText(id).toStdString(); };
  AddPanelTab(title(kStringMonitorTab), [](PanelState& s) { return new CFormMonitor(s); });
  AddPanelTab(title(kStringEqualizerTab), [](PanelState& s) { return new CFormEqualizer(s); });
  AddPanelTab(title(kStringCompressionTab), [](PanelState& s) { return new CFormCompress(s); });
  AddPanelTab(title(kStringLimiterTab), [](PanelState& s) { return new CFormLimiter(s); });
}

void PanelHost::ShowFirstPanel() {
  state_.currentPanelTab = 0;
  ShowPanel(0);
}

bool PanelHost::ShowPanel(int index) {
  if (index < 0 || index >= static_cast<int>(state_.panelTabs.size())) return false;
  const int previousTab = state_.currentPanelTab;
  state_.currentPanelTab = index;
  CFormBase* created = nullptr;
  try {
    created = state_.panelTabs[index].create(state_);
  } catch (const std::exception& e) { platform::OutputDebugText(std::string("panel not created: ") + e.what()); }
  if (!created) {
    state_.currentPanelTab = previousTab;
    if (current_) {
      const QSignalBlocker block(current_->Tabs());
      current_->Tabs()->setCurrentIndex(previousTab);
    }
    return false;
  }
  const bool tabsHadFocus = current_ && current_->Tabs()->hasFocus();
  created->setParent(this);
  created->move(0, 0);
  created->tabSelected = [this](int tab) { ShowPanel(tab); };
  created->InitialUpdate();
  created->show();
  if (tabsHadFocus) created->Tabs()->setFocus();

  // The old panel may be the one whose tab strip asked for this switch: it goes once that call returns.
  CFormBase* old = current_;
  current_ = created;
  if (old) {
    old->hide();
    old->deleteLater();
  }
  window()->setWindowTitle(widgets::UiText(widgets::kStringFrameTitle));
  return true;
}

}  // namespace panels
