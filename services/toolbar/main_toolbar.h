#pragma once
#include <QAction>

class QMainWindow;

namespace services {

class CToolBarEx;
class PresetComboBox;

// The main window's commands that the toolbar shows. One action serves the toolbar and the menus:
// a click on a button leaves as the action's `triggered`, and the window handles it there.
struct MainToolbarActions {
  QAction* open = nullptr;  // open a user configuration
  QAction* save = nullptr;
  QAction* selection = nullptr;
  QAction* config = nullptr;   // the drop-down button; a click on the button itself
  QAction* devices = nullptr;  // the drop-down menu ("Options"): Devices, Configure
  QAction* configure = nullptr;
  QAction* about = nullptr;
  QAction* bypass = nullptr;  // checkable; offered by Customize, not shown at first
};

// Builds the window's toolbar: Open, Save | Selection, the preset list | Config with its menu | About,
// labels on the right and small icons unless the user's stored layout says otherwise, docked at the
// top. The toolbar takes `presets`; the window fills it through the preset list interface and hears
// the user's choice from its `activated` signal.
CToolBarEx* CreateMainToolbar(QMainWindow& window, const MainToolbarActions& actions, PresetComboBox* presets);

}  // namespace services
