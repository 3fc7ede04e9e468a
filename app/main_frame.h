#pragma once
#include <QMainWindow>
#include <functional>
#include <memory>

#include "app/configure_dialog.h"
#include "app/output_device_dialog.h"
#include "panels/panel_host.h"
#include "services/toolbar/preset_combo_box.h"
#include "services/toolbar/toolbar_ex.h"
#include "services/tray_icon.h"
#include "services/warning_dialog.h"
#include "settings/audio_program_warning.h"
#include "settings/preset_selection.h"

namespace desktop {

// What the main window works on; the application owns all of it.
struct FrameParts {
  panels::PanelState& panelState;
  settings::PresetSelection& selection;
  settings::ApplicationSwitches& switches;
  platform::UserPrompt& prompt;
  audio::PulseWaveOutSystem* outputs;  // nullptr without an audio server
  engine::CWaveOutput* output;
  std::string outputDevice;  // the device chosen at start
  // Where the sound plays now (LiveAudio::PlayingDevice); none without an audio server.
  std::function<std::string()> playingDevice;
};

// The only top-level window: fixed at 740 x 370 without a maximize button, the toolbar above the panel
// host; larger by what the toolbar takes beyond its default look (large icons, labels below, docked on a
// side), so the panels keep their size. Closing or minimizing hides it into the notification area, or, where the
// desktop shows none, minimizes it to the task bar. Exit (tray menu) keeps unsaved changes, asks, and ends the program.
class CMainFrame : public QMainWindow {
 public:
  explicit CMainFrame(FrameParts parts);
  ~CMainFrame() override;

  // The commands of the toolbar and the tray menu, by their identifiers.
  void OnCommand(int command);
  // Shows the window as the start-up asks: restored, or hidden (minimized without a notification area).
  void ShowAtStart(bool minimized);
  // Ends the program without questions or message boxes (end of the desktop session, SIGTERM, SIGINT,
  // SIGHUP): waiting writes run, unsaved changes are kept in "Custom.tvh", failures go to stderr.
  void EndSession();

  panels::PanelHost& Host() { return *host_; }
  services::PresetComboBox& Presets() { return *presets_; }
  services::CTrayIcon& Tray() { return tray_; }
  COutputDeviceDialog& Devices() { return devices_; }
  bool TrayShown() const { return trayShown_; }
  // The Bypass switch of the tray menu and the toolbar; setting it switches the engine.
  QAction& Bypass() { return *bypass_; }
  // From outside the window (the remote control): the preset shown or stored as `title` is chosen as if the
  // user picked it in the list, and the file `path` loaded as Open loads it, each once the event loop runs
  // again (a question about unsaved changes must not hold up the caller). False, or the reason, when there is
  // no such preset or the file cannot be read; nothing changes then.
  bool SelectPreset(const std::string& title);
  std::string OpenConfiguration(const std::string& path);
  // The configuration as the preset list shows it, and the output device: the one chosen, or the one the
  // sound moved to since.
  std::string ShownConfiguration() const { return presets_->currentText().toStdString(); }
  const std::string& OutputDevice() const { return followed_; }
  // The output moved to `device` (a sink came or went, or the user chose it): its bound configuration is
  // loaded, once per move. The frame asks `playingDevice` for moves every 250 ms.
  void FollowOutputDevice(const std::string& device);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void HideToTray();
  void Restore();
  void Exit();
  void FitOuterSize();
  void FitOuterSizeLater();
  void MeasureDefaultToolbar();
  // What the toolbar takes beyond its default size, in the direction it takes it from the panels.
  QSize ToolbarGrowth() const;

  FrameParts parts_;
  panels::PanelHost* host_;
  services::PresetComboBox* presets_;
  services::CToolBarEx* toolbar_;
  QAction* bypass_;
  std::string followed_;  // the output device whose binding was last looked at
  QSize defaultToolbar_;
  services::CTrayIcon tray_;
  bool trayShown_ = false;
  bool ending_ = false;
  std::unique_ptr<settings::AudioProgramWarning> warning_;
  platform::CProcessList processes_;
  CConfigureDialog configure_;
  COutputDeviceDialog devices_;
  std::unique_ptr<services::CWarningDialog> warningDialog_;
};

}  // namespace desktop
