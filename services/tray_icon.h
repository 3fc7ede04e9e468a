#pragma once
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <map>

namespace services {

// The program's icon in the notification area. A left click, a left double click and a right click all
// open the tray menu ("&Open" in bold as its default item, "&Devices", "&Configure", "&Bypass", "&Updates",
// "&About", "E&xit"); none of them restores the window itself. A chosen item goes out as Command(id),
// which the main frame connects to its command handling.
class CTrayIcon : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxTooltip = 63;

  explicit CTrayIcon(QObject* parent = nullptr);

  // The menu shows `action` for `command` instead of an item of its own (the window's checkable commands,
  // so the menu and the toolbar show the same state); its `triggered` is the window's to handle. Call
  // before Create.
  void Share(int command, QAction* action) { shared_[command] = action; }
  // Builds the menu in the interface language, sets the icon (the application's icon when `icon` is
  // null) and the tip (string `tipId`), and shows the icon. Returns whether a notification area is there
  // to show it; without one the program runs on and the caller decides how the window hides.
  bool Create(QWidget* frame, const QIcon& icon, int tipId);
  // Sets the tip, cut to its first 63 characters; empty when `text` is.
  void SetTooltipText(const QString& text);
  QString TooltipText() const { return tray_.toolTip(); }

  // Whether the desktop shows a notification area now. A tray may appear after log-on, so the main frame
  // asks at each close or minimize. Replaceable for tests.
  std::function<bool()> isAvailable = &QSystemTrayIcon::isSystemTrayAvailable;

  QMenu& Menu() { return menu_; }
  QSystemTrayIcon& Icon() { return tray_; }

 signals:
  void Command(int commandId);

 private:
  void BuildMenu();
  void OnActivated(QSystemTrayIcon::ActivationReason reason);

  QWidget* frame_ = nullptr;
  QSystemTrayIcon tray_;
  QMenu menu_;
  std::map<int, QAction*> shared_;
};

}  // namespace services
