#pragma once
#include <QWidget>

#include "panels/panel_state.h"

namespace panels {

class CFormBase;

// Holds the one panel that exists at a time and replaces it when the user picks another tab: the new
// panel is created and shown before the old one goes, and if it cannot be created the old one stays.
// A main window hosts this widget; the window's title is set after every switch.
class PanelHost : public QWidget {
 public:
  PanelHost(PanelState& state, QWidget* parent = nullptr);
  ~PanelHost() override;

  // Appends a tab (the application adds Monitor, Equalizer, Compression, Limiter in that order).
  void AddPanelTab(const std::string& title, std::function<CFormBase*(PanelState&)> create);
  // The four panels' tabs in that order, titled in the interface language.
  void AddStandardPanelTabs();
  // Shows tab 0 anew, so that the panel re-reads values that were loaded meanwhile.
  void ShowFirstPanel();
  // The switch the tab strip asks for; false when the new panel could not be made.
  bool ShowPanel(int index);

  CFormBase* Current() const { return current_; }

 private:
  PanelState& state_;
  CFormBase* current_ = nullptr;
};

}  // namespace panels
