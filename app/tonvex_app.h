#pragma once
#include <QMessageBox>
#include <memory>
#include <string>
#include <vector>

#include "app/bring_forward.h"
#include "audio/live_audio.h"
#include "engine/report_queue.h"
#include "graphs/engine_monitor.h"
#include "panels/panel_state.h"
#include "platform/instance_lock.h"
#include "services/remote_control.h"
#include "widgets/qt_engine_reporter.h"
#include "widgets/qt_prompt.h"

namespace desktop {

class CMainFrame;

// The desktop program's start and end. InitInstance refuses a start before it changes anything (no setting
// written, no sink touched); ExitInstance stores the panels' values only when they were loaded and stops the
// engine only when it started, handing the default sink back.
class CTonvexApp {
 public:
  // `arguments` without the program's name; `workingFolder` makes a relative "/F" file absolute.
  // `prompt` nullptr: message boxes.
  CTonvexApp(std::vector<std::string> arguments, std::string workingFolder, platform::UserPrompt* prompt = nullptr);
  ~CTonvexApp();

  bool InitInstance();
  int ExitInstance();

  CMainFrame* Frame() const { return frame_.get(); }
  // The engine's life on the audio server (nullptr before InitInstance); tests and benchmarks read its
  // statistics.
  audio::LiveAudio* Live() const { return live_.get(); }
  // Another instance held the lock at start (known after InitInstance).
  bool AlreadyRunning() const { return alreadyRunning_; }
  // How long the "/S" relaunch waits for the previous instance to end.
  int relaunchWaitMs = 2000;

 private:
  bool ProbeInstalledVersion();
  bool TakeInstanceLock(bool relaunched);
  // Offers the window's remote control on the session bus; without a bus the program runs on without it.
  void StartRemoteControl();
  std::vector<std::pair<std::string, std::string>> RemoteStatus();

  std::vector<std::string> arguments_;
  std::string workingFolder_;
  platform::InstanceLock lock_;
  bool alreadyRunning_ = false;
  bool valuesLoaded_ = false;
  widgets::QtPrompt boxes_;
  platform::UserPrompt& prompt_;
  engine::ReportQueue reports_;
  std::unique_ptr<audio::LiveAudio> live_;
  std::unique_ptr<graphs::CEngineMonitor> monitor_;
  std::unique_ptr<panels::PanelState> panelState_;
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<widgets::QtEngineReporter> reporter_;
  ForwardListener forward_;
  std::unique_ptr<services::CRemoteControl> remote_;
};

}  // namespace desktop
