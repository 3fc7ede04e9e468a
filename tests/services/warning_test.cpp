#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>

#include "services/warning_dialog.h"
#include "tests/services/player_process.h"
#include "tests/services/services_fixture.h"

namespace {

using settings::AudioProgramWarning;

constexpr int kToday = 5;

class WarningTest : public ServicesFixture {
 protected:
  std::atomic<int> pending{0};
  platform::CProcessList processes;
};

// Real processes under players' names, matched by their executables' base names in any letter case,
// also after the program file was replaced while it runs.
TEST_F(WarningTest, PlayerStartedBeforeIsDetected) {
  processes.Snapshot();
  for (std::string_view name : settings::kAudioPrograms)
    if (processes.Count(name) > 0) GTEST_SKIP() << "a player of this user runs on this machine: " << name;
  EXPECT_FALSE(AudioProgramWarning(pending, 0, processes, kToday).detected);
  EXPECT_EQ(pending, 0);
  {
    PlayerProcess player(root, "VLC");
    ASSERT_TRUE(player.Running());
    EXPECT_TRUE(AudioProgramWarning(pending, 0, processes, kToday).detected);
  }
  PlayerProcess upgraded(root, "firefox-esr");
  ASSERT_TRUE(upgraded.Running());
  std::filesystem::remove(upgraded.Path());
  EXPECT_TRUE(AudioProgramWarning(pending, 0, processes, kToday).detected);
}

struct RememberedCase {
  const char *name, *timestamp, *warning;  // a null timestamp or warning: no such value
  int preferred, pending;
};

class WarningRemembered : public WarningTest, public ::testing::WithParamInterface<RememberedCase> {};

// With a player running: the day stamp, the "warning" value and the preferred-device switch.
TEST_P(WarningRemembered, DecidesWhetherTheWarningIsDue) {
  const RememberedCase& c = GetParam();
  if (c.timestamp) SetValue(platform::HKEY_CURRENT_USER, "timestamp", c.timestamp);
  if (c.warning) SetValue(platform::HKEY_CURRENT_USER, "warning", c.warning);
  PlayerProcess player(root, "Spotify");
  ASSERT_TRUE(player.Running());
  AudioProgramWarning warning(pending, c.preferred, processes, kToday);
  EXPECT_EQ(pending, c.pending);
  // Deciding never writes the day stamp; only showing does.
  EXPECT_EQ(Value(platform::HKEY_CURRENT_USER, "timestamp"), c.timestamp ? c.timestamp : "<missing>");
}

INSTANTIATE_TEST_SUITE_P(Registry, WarningRemembered,
                         ::testing::Values(RememberedCase{"Fresh", nullptr, nullptr, 0, 1},
                                           RememberedCase{"ShownToday", "5", nullptr, 0, 0},
                                           RememberedCase{"ShownOnAnotherDay", "4", nullptr, 0, 1},
                                           RememberedCase{"Declined", nullptr, "0", 0, 0},
                                           RememberedCase{"NotDeclined", nullptr, "1", 0, 1},
                                           RememberedCase{"PreferredDevice", nullptr, nullptr, 1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Answers the modal dialog once it shows.
void AnswerWith(services::CWarningDialog& dialog, bool tick, bool ok) {
  auto* watch = new QTimer(&dialog);
  QObject::connect(watch, &QTimer::timeout, &dialog, [watch, &dialog, tick, ok] {
    if (!dialog.isVisible()) return;
    watch->stop();
    dialog.DontShowAgainBox()->setChecked(tick);
    ok ? dialog.accept() : dialog.reject();
  });
  watch->start(5);
}

// Sound before the timer drops the warning; otherwise the timer shows it once and remembers the day;
// "Don´t show" is stored with OK, not with Cancel.
TEST_F(WarningTest, DialogShownOnceAndOnlyOkStoresTheRefusal) {
  PlayerProcess player(root, "rhythmbox");
  ASSERT_TRUE(player.Running());
  AudioProgramWarning warning(pending, 0, processes, kToday);
  ASSERT_EQ(pending, 1);
  pending = 0;
  EXPECT_FALSE(services::CWarningDialog(warning).ShowIfDue());
  EXPECT_EQ(Value(platform::HKEY_CURRENT_USER, "timestamp"), "<missing>");

  pending = 1;
  services::CWarningDialog dialog(warning);
  AnswerWith(dialog, true, false);
  dialog.StartTimer(10);
  ASSERT_TRUE(RunUntil([&] { return Value(platform::HKEY_CURRENT_USER, "timestamp") == "5"; }));
  EXPECT_EQ(Value(platform::HKEY_CURRENT_USER, "warning"), "<missing>");
  EXPECT_FALSE(dialog.ShowIfDue());

  services::CWarningDialog next(warning);
  AnswerWith(next, true, true);
  EXPECT_TRUE(next.ShowIfDue());
  EXPECT_EQ(Value(platform::HKEY_CURRENT_USER, "warning"), "0");
}

// The warning names programs the check looks for, in both languages, and the dialog's title and buttons
// follow the language too.
TEST_F(WarningTest, TheTextNamesProgramsTheCheckLooksFor) {
  AudioProgramWarning warning(pending, 0, processes, kToday);
  for (const int language : {platform::kLanguageEnglish, platform::kLanguagePortuguese}) {
    platform::SetUiLanguage(language);
    services::CWarningDialog dialog(warning);
    const QString text = dialog.TextLabel()->text();
    const qsizetype open = text.lastIndexOf('('), close = text.lastIndexOf(')');
    ASSERT_TRUE(open > 0 && close > open) << text.toStdString();
    int named = 0;
    for (QString name : text.mid(open + 1, close - open - 1).split(',')) {
      name = name.trimmed().toLower();
      if (name.startsWith("etc")) continue;
      ++named;
      EXPECT_NE(std::find(settings::kAudioPrograms.begin(), settings::kAudioPrograms.end(), name.toStdString()),
                settings::kAudioPrograms.end())
          << name.toStdString() << " is not looked for";
    }
    EXPECT_GE(named, 3);
    QStringList buttons;
    for (auto* button : dialog.findChildren<QPushButton*>()) buttons << button->text();
    buttons.sort();
    const bool portuguese = language == platform::kLanguagePortuguese;
    EXPECT_EQ(buttons, portuguese ? QStringList({"Cancelar", "OK"}) : QStringList({"Cancel", "OK"}));
    EXPECT_EQ(dialog.windowTitle(), portuguese ? "Aviso" : "Warning");
  }
  platform::SetUiLanguage(platform::kLanguageEnglish);
}

}  // namespace
