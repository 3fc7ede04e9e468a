#include "services/toolbar/main_toolbar.h"

#include <QMainWindow>

#include "services/command_ids.h"
#include "services/toolbar/preset_combo_box.h"
#include "services/toolbar/toolbar_ex.h"

namespace services {

CToolBarEx* CreateMainToolbar(QMainWindow& window, const MainToolbarActions& actions, PresetComboBox* presets) {
  auto* toolbar = new CToolBarEx(&window);
  toolbar->LoadButtons({{kCommandOpen, actions.open},
                        {kCommandSave, actions.save},
                        {},
                        {kCommandSelection, actions.selection},
                        {kCommandPresetList, nullptr},
                        {},
                        {kCommandConfig, actions.config},
                        {},
                        {kCommandAbout, actions.about}});
  toolbar->InsertControl(kCommandPresetList, presets);
  toolbar->AddDropDownButton(kCommandConfig, {actions.devices, actions.configure}, true);
  // Bypass is not on the toolbar at first: the user adds it through Customize.
  toolbar->SetupButtons({{kCommandBypass, actions.bypass, {}, false}});
  toolbar->MarkPresentButtons();
  toolbar->RestoreLayout();
  window.addToolBar(Qt::TopToolBarArea, toolbar);
  return toolbar;
}

}  // namespace services
