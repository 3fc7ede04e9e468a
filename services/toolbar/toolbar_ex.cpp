#include "services/toolbar/toolbar_ex.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>
#include <algorithm>

#include "services/toolbar/customize_dialog.h"
#include "services/toolbar/toolbar_icons.h"
#include "services/toolbar/toolbar_strings.h"
#include "widgets/ui_text.h"

namespace services {
namespace {

constexpr int kSmallIcon = 16;
constexpr int kLargeIcon = 24;

// A command's string is "<prompt>\n<label>": the label is what follows the last line break.
QString LabelOf(const QString& text) { return text.section(QLatin1Char('\n'), -1); }
QString PromptOf(const QString& text) { return text.section(QLatin1Char('\n'), 0, 0); }

Qt::ToolButtonStyle ButtonStyleFor(int textOption) {
  switch (textOption) {
    case 0: return Qt::ToolButtonTextUnderIcon;
    case 2: return Qt::ToolButtonIconOnly;
    default: return Qt::ToolButtonTextBesideIcon;  // every button of this program shows its label
  }
}

// Label, tool tip and status tip from the command's string; the images belong to the toolbar, so the menus
// that share the action stay as they were.
void DescribeAction(int command, QAction* action) {
  const QString text = widgets::UiText(command);
  action->setIconText(LabelOf(text));
  action->setToolTip(LabelOf(text));
  action->setStatusTip(PromptOf(text));
  action->setIconVisibleInMenu(false);
}

}  // namespace

CToolBarEx::CToolBarEx(QWidget* parent, const QString& valueName) : QToolBar(parent), valueName_(valueName) {
  setObjectName(valueName);  // lets the window keep the toolbar's place with QMainWindow::saveState
  setWindowTitle(widgets::UiText(kStringToolbarTitle));
  connect(this, &QToolBar::orientationChanged, this, &CToolBarEx::UpdateControlVisibility);
}

void CToolBarEx::LoadButtons(const std::vector<ToolbarResourceEntry>& entries) {
  layout_.clear();
  for (const ToolbarResourceEntry& entry : entries) {
    layout_.push_back(entry.command);
    if (!entry.action || entry.command == kSeparatorCommand) continue;
    actions_[entry.command] = entry.action;
    DescribeAction(entry.command, entry.action);
  }
  ApplyLayout();
}

void CToolBarEx::InsertControl(int command, QWidget* control) {
  auto* action = new QWidgetAction(this);
  action->setDefaultWidget(control);
  action->setText(LabelOf(widgets::UiText(command)));
  action->setToolTip(action->text());
  control->setToolTip(action->text());
  actions_[command] = action;
  controls_.push_back(action);
  ApplyLayout();
  UpdateControlVisibility();
}

void CToolBarEx::AddDropDownButton(int command, const QList<QAction*>& items, bool arrow) {
  auto found =
      std::find_if(dropDowns_.begin(), dropDowns_.end(), [&](const DropDown& d) { return d.command == command; });
  QMenu* menu = found != dropDowns_.end() ? found->menu : new QMenu(this);
  menu->clear();
  menu->addActions(items);
  if (found != dropDowns_.end()) dropDowns_.erase(found);
  dropDowns_.insert(dropDowns_.begin(), DropDown{command, menu, arrow});
  ApplyLayout();
}

void CToolBarEx::SetupButtons(const std::vector<ToolbarButton>& extra) {
  buttons_.clear();
  for (int command : layout_) {
    ToolbarButton button{command, ActionFor(command), {}, true};
    if (command != kSeparatorCommand) button.label = LabelOf(widgets::UiText(command));
    buttons_.push_back(button);
  }
  for (ToolbarButton button : extra) {
    if (button.label.isEmpty()) button.label = LabelOf(widgets::UiText(button.command));
    buttons_.push_back(button);
    if (!button.action) continue;
    actions_[button.command] = button.action;
    DescribeAction(button.command, button.action);
  }
  SetTextOptions(1);
  SetIconOptions(0);
}

void CToolBarEx::MarkPresentButtons() {
  for (ToolbarButton& button : buttons_)
    button.presentByDefault = button.command == kSeparatorCommand ||
                              std::find(layout_.begin(), layout_.end(), button.command) != layout_.end();
}

void CToolBarEx::RestoreLayout() {
  const std::optional<ToolbarLayout> stored = ReadToolbarLayout(valueName_.toStdString());
  if (!stored) return;
  SetLayout(stored->commands);
  if (stored->textOption != textOption_) SetTextOptions(stored->textOption);
  if (stored->iconOption != iconOption_) SetIconOptions(stored->iconOption);
}

void CToolBarEx::SaveLayout() const {
  WriteToolbarLayout(valueName_.toStdString(), ToolbarLayout{iconOption_, textOption_, layout_});
}

void CToolBarEx::SetTextOptions(int option, bool redraw) {
  textOption_ = option;
  setToolButtonStyle(ButtonStyleFor(option));
  if (redraw) Redraw();
}

void CToolBarEx::SetIconOptions(int option, bool redraw) {
  iconOption_ = option;
  const int size = option == 1 ? kLargeIcon : kSmallIcon;
  // The images are drawn anew in the present colours, which may have changed since the last time.
  for (const auto& [command, action] : actions_) action->setIcon(ToolbarIcon(command, palette()));
  setIconSize(QSize(size, size));
  if (redraw) Redraw();
}

void CToolBarEx::SetLayout(const std::vector<int>& commands) {
  layout_.clear();
  for (int command : commands) {
    const bool known = command == kSeparatorCommand || Find(command);
    const bool repeated =
        command != kSeparatorCommand && std::find(layout_.begin(), layout_.end(), command) != layout_.end();
    if (known && !repeated) layout_.push_back(command);
  }
  ApplyLayout();
}

std::vector<int> CToolBarEx::DefaultLayout() const {
  std::vector<int> commands;
  for (const ToolbarButton& button : buttons_)
    if (button.presentByDefault) commands.push_back(button.command);
  return commands;
}

bool CToolBarEx::CanRemove(int command) const {
  const QAction* action = ActionFor(command);
  return !action || action->isVisible();
}

const ToolbarButton* CToolBarEx::Find(int command) const {
  auto found = std::find_if(buttons_.begin(), buttons_.end(), [&](const ToolbarButton& b) {
    return b.command == command && command != kSeparatorCommand;
  });
  return found != buttons_.end() ? &*found : nullptr;
}

void CToolBarEx::Customize() {
  CCustomizeDialog dialog(*this, window());
  dialog.exec();
}

QMenu* CToolBarEx::CreateContextMenu() {
  auto* menu = new QMenu(this);
  // The window's toolbars, found among its children (a toolbar keeps its window as parent while floating).
  const QList<QToolBar*> bars = parentWidget() ? parentWidget()->findChildren<QToolBar*>() : QList<QToolBar*>{this};
  for (QToolBar* bar : bars) menu->addAction(bar->toggleViewAction());
  menu->addSeparator();
  connect(menu->addAction(widgets::UiText(kStringCustomizeMenu)), &QAction::triggered, this, &CToolBarEx::Customize,
          Qt::QueuedConnection);
  return menu;
}

void CToolBarEx::contextMenuEvent(QContextMenuEvent* event) {
  // Offered while the table exists, even when the user has taken every button off: the menu is the
  // way back to them.
  event->accept();
  if (buttons_.empty()) return;
  QMenu* menu = CreateContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void CToolBarEx::changeEvent(QEvent* event) {
  QToolBar::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && iconOption_ >= 0) SetIconOptions(iconOption_);
}

QAction* CToolBarEx::ActionFor(int command) const {
  auto found = actions_.find(command);
  return found != actions_.end() ? found->second : nullptr;
}

void CToolBarEx::ApplyLayout() {
  setUpdatesEnabled(false);  // one repaint for the whole change
  clear();
  size_t separatorsUsed = 0;
  for (int command : layout_) {
    if (command == kSeparatorCommand) {
      if (separatorsUsed == separators_.size()) {
        separators_.push_back(new QAction(this));
        separators_.back()->setSeparator(true);
      }
      addAction(separators_[separatorsUsed++]);
    } else if (QAction* action = ActionFor(command)) {
      addAction(action);
    }
  }
  for (const DropDown& dropDown : dropDowns_) {
    QAction* action = ActionFor(dropDown.command);
    if (auto* button = action ? qobject_cast<QToolButton*>(widgetForAction(action)) : nullptr) {
      button->setMenu(dropDown.menu);
      button->setPopupMode(dropDown.arrow ? QToolButton::MenuButtonPopup : QToolButton::InstantPopup);
    }
  }
  setUpdatesEnabled(true);
}

void CToolBarEx::Redraw() {
  updateGeometry();
  update();
}

void CToolBarEx::UpdateControlVisibility() {
  for (QWidgetAction* control : controls_) control->setVisible(orientation() == Qt::Horizontal);
}

}  // namespace services
