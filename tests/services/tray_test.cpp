#include <QSignalSpy>

#include "services/command_ids.h"
#include "services/service_ids.h"
#include "services/tray_icon.h"
#include "tests/services/services_fixture.h"

namespace {

using services::CTrayIcon;

class TrayTest : public ServicesFixture {};

// Every item sends its command to the frame, in the menu's order, with Open as the default item, except a
// shared one (Bypass), which is the window's own checkable action under the menu's text; a left click and a
// double click open the menu, a middle click does not, the right click is the context menu.
TEST_F(TrayTest, ClicksOpenTheMenuAndItemsSendTheirCommands) {
  CTrayIcon tray;
  tray.isAvailable = [] { return false; };
  QAction bypass;
  bypass.setCheckable(true);
  tray.Share(services::kCommandBypass, &bypass);
  EXPECT_FALSE(tray.Create(nullptr, QIcon(), services::kStringTrayTip));
  QSignalSpy commands(&tray, &CTrayIcon::Command);
  for (QAction* action : tray.Menu().actions()) action->trigger();
  std::vector<int> sent;
  for (const QList<QVariant>& arguments : commands) sent.push_back(arguments.at(0).toInt());
  EXPECT_EQ(sent, (std::vector<int>{services::kCommandOpenWindow, services::kCommandDevices,
                                    services::kCommandUseForDevice, services::kCommandConfigure,
                                    services::kCommandUpdates, services::kCommandAbout, services::kCommandExit}));
  EXPECT_TRUE(bypass.isChecked()) << "the menu's item is the shared action";
  EXPECT_EQ(bypass.text(), "&Bypass");
  EXPECT_EQ(tray.Menu().defaultAction(), tray.Menu().actions().front());
  EXPECT_EQ(tray.Icon().contextMenu(), &tray.Menu());
  for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
    emit tray.Icon().activated(reason);
    EXPECT_EQ(tray.Menu().isVisible(), reason != QSystemTrayIcon::MiddleClick) << reason;
    tray.Menu().hide();
  }
}

}  // namespace
