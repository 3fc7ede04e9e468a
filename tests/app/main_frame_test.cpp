// The main window hides into the notification area, or, where the desktop shows none, goes to the task bar.
#include "app/main_frame.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <filesystem>

#include "engine/processing_parameters.h"
#include "platform/registry.h"
#include "services/command_ids.h"
#include "services/toolbar/toolbar_ex.h"
#include "settings/configuration_model.h"
#include "tests/qt_support/silent_monitor.h"
#include "tests/support/files.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/scripted_prompt.h"

namespace {

// What a main window works on, with its settings in the registry sandbox.
class MainFrame : public testing_support::RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    selection.configFolder = root + "/config";
    std::filesystem::create_directories(selection.configFolder);
  }
  // Shows `frame` as the program starts it, on a desktop with or without a notification area.
  static void Start(desktop::CMainFrame& frame, bool tray, bool minimized) {
    frame.Tray().isAvailable = [tray] { return tray; };
    frame.ShowAtStart(minimized);
    QApplication::processEvents();
  }

  // What the application hands the frame; the sound plays on `playing`.
  desktop::FrameParts Parts(const std::string& device = "") {
    return {state, selection, switches, prompt, nullptr, nullptr, device, [this] { return playing; }};
  }

  std::string playing;
  engine::ProcessingParameters parameters;
  settings::ConfigurationModel configuration;
  testing_support::ScriptedPrompt prompt;
  testing_support::SilentMonitor monitor;
  panels::PanelState state{parameters, configuration, prompt, monitor, [] {}};
  settings::PresetSelection selection{configuration, parameters, &prompt};
  settings::ApplicationSwitches switches{parameters};
};

TEST_F(MainFrame, HidesOnlyWhereANotificationAreaShows) {
  for (const bool tray : {true, false}) {
    SCOPED_TRACE(tray ? "with a notification area" : "without one");
    // Closing the window.
    desktop::CMainFrame frame(Parts());
    Start(frame, tray, false);
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
    desktop::CMainFrame minimized(Parts());
    Start(minimized, tray, true);
    EXPECT_EQ(minimized.isVisible(), !tray);
    EXPECT_EQ(minimized.isMinimized(), !tray);
  }
}

// Large icons with labels below make the toolbar taller: the window grows by as much, so the panels keep
// their size and nothing at their bottom is cut off.
TEST_F(MainFrame, GrowsByWhatTheToolbarGrows) {
  desktop::CMainFrame frame(Parts());
  Start(frame, false, false);
  auto* toolbar = frame.findChild<services::CToolBarEx*>();
  ASSERT_NE(toolbar, nullptr);
  const QSize panels = frame.Host().size(), window = frame.size();
  const int toolbarHeight = toolbar->height();
  EXPECT_EQ(frame.frameGeometry().size(), QSize(740, 370));

  toolbar->SetIconOptions(1);
  toolbar->SetTextOptions(0);
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
  ASSERT_GT(toolbar->height(), toolbarHeight);
  EXPECT_EQ(frame.Host().size(), panels);
  EXPECT_EQ(frame.size(), window + QSize(0, toolbar->height() - toolbarHeight));
  EXPECT_LE(frame.Host().geometry().bottom(), frame.height() - 1) << "the panels' bottom is cut off";
  EXPECT_EQ(frame.minimumSize(), frame.maximumSize());  // still fixed

  toolbar->SetIconOptions(0);
  toolbar->SetTextOptions(1);
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
  EXPECT_EQ(frame.size(), window);
  EXPECT_EQ(frame.Host().size(), panels);
}

// The session's end (SIGTERM, SIGINT, SIGHUP, the desktop logging out) waits for nobody: unsaved changes and
// waiting writes are stored, and a folder that takes no file is told on stderr, never in a message box.
TEST_F(MainFrame, TheSessionsEndStoresWhatWaitsAndShowsNoMessageBox) {
  for (const bool writable : {false, true}) {
    SCOPED_TRACE(writable ? "writable" : "read-only configuration folder");
    ::chmod(selection.configFolder.c_str(), writable ? 0755 : 0555);
    desktop::CMainFrame frame(Parts());
    selection.MarkModified();
    bool waitingWriteRan = false;
    state.writes.Schedule(panels::StoredPart::kVolume, [&] { waitingWriteRan = true; });
    testing::internal::CaptureStderr();
    frame.EndSession();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(prompt.messages.empty()) << prompt.messages.front().text;
    EXPECT_TRUE(waitingWriteRan);
    EXPECT_EQ(std::filesystem::exists(selection.configFolder + "/Custom.tvh"), writable);
    EXPECT_EQ(Value(platform::HKEY_CURRENT_USER, "pending"), writable ? "1" : "<missing>")
        << "never a pointer to a file that is not there";
    EXPECT_EQ(errors.find("Custom.tvh") != std::string::npos, !writable) << errors;
  }
}

// Bypass is one checkable action in the tray menu and on the toolbar (once added): whichever way it is
// switched, the engine's switch follows and both show the same state.
TEST_F(MainFrame, BypassSwitchesTheEngineFromTheMenuAndTheToolbar) {
  desktop::CMainFrame frame(Parts());
  QAction* item = nullptr;
  for (QAction* action : frame.Tray().Menu().actions())
    if (action->text() == "&Bypass") item = action;
  ASSERT_EQ(item, &frame.Bypass());
  auto* toolbar = frame.findChild<services::CToolBarEx*>();
  ASSERT_NE(toolbar->Find(services::kCommandBypass), nullptr);
  EXPECT_EQ(toolbar->Find(services::kCommandBypass)->action, item);
  item->trigger();
  EXPECT_EQ(parameters.bypass, 1);
  frame.OnCommand(services::kCommandBypass);
  EXPECT_EQ(parameters.bypass, 0);
  EXPECT_FALSE(item->isChecked());
}

// Each output device plays the configuration bound to it: a move of the sound (a sink gone, the remembered one
// back, the user's choice) loads it within a second, as a choice in the preset list would; a device without a
// binding keeps what plays, and so does the device the program started on.
TEST_F(MainFrame, TheOutputDevicesBindingIsLoadedWhenTheSoundMovesThere) {
  for (const auto& [file, name] : {std::pair{"01_Flat.tvd", "Flat"}, {"02_Rock.tvd", "Rock"}, {"03_Jazz.tvd", "Jazz"}})
    testing_support::WriteText(selection.configFolder + "/" + file, std::string("lang_09_=") + name + "\n");
  playing = "Speakers";
  desktop::CMainFrame frame(Parts("Speakers"));
  ASSERT_EQ(frame.ShownConfiguration(), "Flat");
  frame.Presets().Select(selection.FindPreset("Jazz"));
  selection.OnPresetSelected();
  EXPECT_TRUE(selection.BindToDevice("Speakers"));
  frame.Presets().Select(selection.FindPreset("Rock"));
  selection.OnPresetSelected();
  frame.Devices().useForDevice("Headphones");  // the dialog's button, Headphones selected in its list
  frame.Presets().Select(selection.FindPreset("Flat"));
  selection.OnPresetSelected();

  const auto shownAfterMove = [&](const std::string& device) {
    playing = device;
    QElapsedTimer waited;
    waited.start();
    const std::string before = frame.ShownConfiguration();
    while (waited.elapsed() < 1000 && frame.ShownConfiguration() == before) QApplication::processEvents();
    return frame.ShownConfiguration();
  };
  EXPECT_EQ(shownAfterMove("Headphones"), "Rock");
  EXPECT_EQ(frame.OutputDevice(), "Headphones");
  EXPECT_EQ(shownAfterMove("Speakers"), "Jazz");
  EXPECT_EQ(shownAfterMove("HDMI"), "Jazz") << "a device without a binding keeps the configuration";
  frame.Devices().chosen("Headphones");  // chosen in the dialog while nothing plays
  EXPECT_EQ(frame.ShownConfiguration(), "Rock");
  EXPECT_TRUE(prompt.messages.empty());
}

}  // namespace
