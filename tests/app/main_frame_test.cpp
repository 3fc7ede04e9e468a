// The main window hides into the notification area, or, where the desktop shows none, goes to the task bar.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include "app/desktop/main_frame.h"
#include "engine/processing_parameters.h"
#include "platform/registry.h"
#include "settings/configuration_model.h"
#include "tests/qt_support/silent_monitor.h"
#include "tests/support/files.h"
#include "tests/support/scripted_prompt.h"

namespace {

TEST(MainFrame, HidesOnlyWhereANotificationAreaShows) {
  testing_support::ScratchDir scratch;
  const std::string home = scratch.path;
  setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, home + "/user");
  engine::ProcessingParameters parameters;
  settings::ConfigurationModel configuration;
  testing_support::ScriptedPrompt prompt;
  testing_support::SilentMonitor monitor;
  panels::PanelState state(parameters, configuration, prompt, monitor, [] {});
  settings::PresetSelection selection(configuration, parameters, &prompt);
  settings::ApplicationSwitches switches(parameters);

  for (const bool tray : {true, false}) {
    SCOPED_TRACE(tray ? "with a notification area" : "without one");
    // Closing the window.
    desktop::CMainFrame frame({state, selection, switches, prompt, nullptr, nullptr, ""});
    frame.Tray().isAvailable = [tray] { return tray; };
    frame.ShowAtStart(false);
    QApplication::processEvents();
    ASSERT_TRUE(frame.isVisible());
    frame.close();
    QApplication::processEvents();
    EXPECT_EQ(frame.isVisible(), !tray);
    EXPECT_EQ(frame.isMinimized(), !tray);
    // Opening it from the menu brings it back.
    frame.OnCommand(32773);
    QApplication::processEvents();
    EXPECT_TRUE(frame.isVisible() && !frame.isMinimized());

    // Starting minimized.
    desktop::CMainFrame minimized({state, selection, switches, prompt, nullptr, nullptr, ""});
    minimized.Tray().isAvailable = [tray] { return tray; };
    minimized.ShowAtStart(true);
    QApplication::processEvents();
    EXPECT_EQ(minimized.isVisible(), !tray);
    EXPECT_EQ(minimized.isMinimized(), !tray);
  }
}

}  // namespace
