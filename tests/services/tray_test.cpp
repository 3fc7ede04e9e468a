#include <QSignalSpy>

#include "services/service_ids.h"
#include "services/tray_icon.h"
#include "tests/services/services_fixture.h"

namespace {

using services::CTrayIcon;

class TrayTest : public ServicesFixture {};

// Every item sends its command to the frame, in the menu's order, with Open as the default item.
TEST_F(TrayTest, MenuItemsSendTheirCommands) {
  CTrayIcon tray;
  tray.isAvailable = [] { return true; };
  EXPECT_TRUE(tray.Create(nullptr, QIcon(), services::kStringTrayTip));
  QSignalSpy commands(&tray, &CTrayIcon::Command);
  int separators = 0;
  for (QAction* action : tray.Menu().actions()) {
    if (action->isSeparator()) ++separators;
    else action->trigger();
  }
  std::vector<int> sent;
  for (const QList<QVariant>& arguments : commands) sent.push_back(arguments.at(0).toInt());
  EXPECT_EQ(sent, (std::vector<int>{services::kCommandOpen, services::kCommandDevices, services::kCommandConfigure,
                                    services::kCommandUpdates, services::kCommandAbout, services::kCommandExit}));
  EXPECT_EQ(separators, 3);
  EXPECT_EQ(tray.Menu().defaultAction(), tray.Menu().actions().front());

  // Without a notification area Create says so, and the caller keeps its window reachable.
  CTrayIcon none;
  none.isAvailable = [] { return false; };
  EXPECT_FALSE(none.Create(nullptr, QIcon(), services::kStringTrayTip));
}

TEST_F(TrayTest, MenuFollowsTheInterfaceLanguage) {
  CTrayIcon english;
  english.Create(nullptr, QIcon(), services::kStringTrayTip);
  platform::SetUiLanguage(platform::kLanguagePortuguese);
  CTrayIcon portuguese;
  portuguese.Create(nullptr, QIcon(), services::kStringTrayTip);
  const QList<QAction*> a = english.Menu().actions(), b = portuguese.Menu().actions();
  ASSERT_EQ(a.size(), b.size());
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (a[i]->isSeparator()) continue;
    EXPECT_NE(a[i]->text(), b[i]->text()) << a[i]->text().toStdString();
  }
}

// Left click and double click open the menu (right click is the desktop's context menu); other
// activations do nothing.
TEST_F(TrayTest, ClicksOpenTheMenu) {
  for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
    CTrayIcon tray;
    tray.Create(nullptr, QIcon(), services::kStringTrayTip);
    emit tray.Icon().activated(reason);
    EXPECT_EQ(tray.Menu().isVisible(), reason != QSystemTrayIcon::MiddleClick) << reason;
    tray.Menu().hide();
  }
  CTrayIcon tray;
  tray.Create(nullptr, QIcon(), services::kStringTrayTip);
  EXPECT_EQ(tray.Icon().contextMenu(), &tray.Menu());
}

// The tip holds 63 characters, counted as characters: a Portuguese text is not cut inside a letter.
TEST_F(TrayTest, TooltipIsCutAtSixtyThreeCharacters) {
  CTrayIcon tray;
  tray.Create(nullptr, QIcon(), services::kStringTrayTip);
  tray.SetTooltipText(QString(80, QChar(0x00E3)));
  EXPECT_EQ(tray.TooltipText(), QString(63, QChar(0x00E3)));
}

}  // namespace
