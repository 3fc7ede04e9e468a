#include "services/tray_icon.h"

#include <QApplication>
#include <QCursor>
#include <QStyle>

#include "platform/menu_table.h"
#include "services/command_ids.h"
#include "services/service_ids.h"
#include "widgets/ui_text.h"

namespace services {

CTrayIcon::CTrayIcon(QObject* parent) : QObject(parent) {
  connect(&tray_, &QSystemTrayIcon::activated, this, &CTrayIcon::OnActivated);
}

bool CTrayIcon::Create(QWidget* frame, const QIcon& icon, int tipId) {
  frame_ = frame;
  BuildMenu();
  QIcon shown = icon.isNull() ? QApplication::windowIcon() : icon;
  if (shown.isNull()) shown = QApplication::style()->standardIcon(QStyle::SP_MediaVolume);
  tray_.setIcon(shown);
  SetTooltipText(widgets::UiText(tipId));
  // The desktop's right click opens this menu itself (a StatusNotifier host draws it from here).
  tray_.setContextMenu(&menu_);
  tray_.show();
  return isAvailable();
}

void CTrayIcon::SetTooltipText(const QString& text) { tray_.setToolTip(text.left(kMaxTooltip)); }

void CTrayIcon::BuildMenu() {
  menu_.clear();
  for (const platform::MenuItem& item : platform::LoadMenu(kTrayMenu)) {
    if (item.command == 0) {
      menu_.addSeparator();
      continue;
    }
    const int command = item.command;
    if (auto shared = shared_.find(command); shared != shared_.end()) {
      shared->second->setText(QString::fromStdString(item.text));
      menu_.addAction(shared->second);
      continue;
    }
    QAction* action = menu_.addAction(QString::fromStdString(item.text));
    connect(action, &QAction::triggered, this, [this, command] { emit Command(command); });
    if (command == kCommandOpenWindow) menu_.setDefaultAction(action);  // drawn in bold
  }
}

void CTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  // The right click (Context) is answered by the context menu; a middle click does nothing.
  if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
  if (menu_.isVisible()) return;  // the first click of a double click opened it already
  if (frame_ && frame_->isVisible()) frame_->activateWindow();
  menu_.popup(QCursor::pos());
}

}  // namespace services
