#pragma once
#include <QAction>
#include <QList>
#include <QString>
#include <QToolBar>
#include <map>
#include <string>
#include <vector>

#include "services/toolbar/toolbar_layout.h"

class QMenu;
class QWidgetAction;

namespace services {

// One button the toolbar knows, also when the user has taken it off.
struct ToolbarButton {
  int command = kSeparatorCommand;
  QAction* action = nullptr;  // the window's command; for a control, the action that holds it
  QString label;              // the text after the last line break of the command's string
  bool presentByDefault = true;
};

// A place in the toolbar resource: a command and the window's action for it (one action serves the
// toolbar and the menus, so a click leaves as the action's `triggered`). {kSeparatorCommand, nullptr}
// is a separator; a command whose place a control takes (InsertControl) may come without an action.
struct ToolbarResourceEntry {
  int command = kSeparatorCommand;
  QAction* action = nullptr;
};

// A customizable toolbar. CreateMainToolbar builds the main window's one toolbar in this order:
//   CToolBarEx toolbar(window);
//   toolbar.LoadButtons({{kCommandOpen, open}, {kCommandSave, save}, {}, ...});
//   toolbar.InsertControl(kCommandPresetList, presetCombo);
//   toolbar.AddDropDownButton(kCommandConfig, {devices, configure}, true);
//   toolbar.SetupButtons();
//   toolbar.MarkPresentButtons();
//   toolbar.RestoreLayout();
//   window.addToolBar(&toolbar);
// It floats and docks like any QToolBar; a right click offers the window's toolbars and Customize.
class CToolBarEx : public QToolBar {
 public:
  // `valueName` names the registry value that keeps the layout; the window's one toolbar uses the
  // default.
  explicit CToolBarEx(QWidget* parent = nullptr, const QString& valueName = QStringLiteral("ToolBarEx1"));

  // The toolbar resource: the buttons in order. Each action gets its label, tool tip and status tip
  // from the command's string and its image from the toolbar (images do not show in menus).
  void LoadButtons(const std::vector<ToolbarResourceEntry>& entries);
  // Puts `control` (the toolbar takes it) in place of the command's button. While the toolbar is docked
  // on the left or right side the control is hidden.
  void InsertControl(int command, QWidget* control);
  // Gives the command's button a menu of `items`; with `arrow` only the button's arrow opens it and a
  // click on the button runs the command, otherwise a click anywhere opens the menu.
  void AddDropDownButton(int command, const QList<QAction*>& items, bool arrow);
  // The button table from the buttons now on the toolbar, then `extra` (buttons the user may add, their
  // actions described as LoadButtons describes its own, an empty label taken from the command's string);
  // labels on the right and small icons.
  void SetupButtons(const std::vector<ToolbarButton>& extra = {});
  // Marks as present by default exactly the buttons on the toolbar now.
  void MarkPresentButtons();
  // The user's layout from the registry, when there is a readable one; SaveLayout stores it.
  void RestoreLayout();
  void SaveLayout() const;

  // 0 labels below the images, 1 labels on the right, 2 no labels.
  void SetTextOptions(int option, bool redraw = true);
  // 0 small icons (16 × 16), 1 large icons (24 × 24).
  void SetIconOptions(int option, bool redraw = true);
  int TextOption() const { return textOption_; }
  int IconOption() const { return iconOption_; }

  const std::vector<ToolbarButton>& Buttons() const { return buttons_; }
  // The commands on the toolbar in order (kSeparatorCommand for a separator), and their replacement;
  // commands the table does not know are left out.
  std::vector<int> Layout() const { return layout_; }
  void SetLayout(const std::vector<int>& commands);
  // The buttons present by default, in table order.
  std::vector<int> DefaultLayout() const;
  // False for a button that is hidden now (the control while docked on a side): it cannot be removed.
  bool CanRemove(int command) const;
  const ToolbarButton* Find(int command) const;

  // The customize dialog, modal; the layout is saved when it closes.
  void Customize();
  // The right-click menu: the window's toolbars, a separator, "&Customize...". The caller owns it.
  QMenu* CreateContextMenu();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QAction* ActionFor(int command) const;
  void ApplyLayout();
  void Redraw();
  void UpdateControlVisibility();

  QString valueName_;
  std::map<int, QAction*> actions_;  // every command's action, controls' included
  std::vector<ToolbarButton> buttons_;
  std::vector<int> layout_;
  int textOption_ = -1;
  int iconOption_ = -1;
  std::vector<QAction*> separators_;  // reused by ApplyLayout, one per separator shown
  struct DropDown {
    int command;
    QMenu* menu;
    bool arrow;
  };
  std::vector<DropDown> dropDowns_;  // newest first
  std::vector<QWidgetAction*> controls_;
};

}  // namespace services
