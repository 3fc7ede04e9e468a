#include "app/tonvex_app.h"

#include <spawn.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <thread>

#include "app/bring_forward.h"
#include "app/main_frame.h"
#include "app/start_up.h"
#include "engine/exceptions.h"
#include "panels/panel_registry.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "services/command_ids.h"
#include "services/remote_control_bus.h"
#include "settings/application_switches.h"
#include "settings/configuration_model.h"
#include "settings/preset_selection.h"
#include "settings/string_ids.h"
#include "widgets/qt_translations.h"

extern char** environ;

namespace desktop {
namespace {

constexpr int kStringAlreadyRunning = 61450;
constexpr int kStringNoInstanceLock = 61531;
constexpr int kStringNoDevice = 61448;
constexpr const char* kVersion = "1.0";
// How often the program looks whether the server came back (a counter read, nothing asked of the server):
// a restarted server's sound goes to its own default until the virtual device takes the role again.
// At one second, a restart under load took more than 2 s to be heard through the program again.
constexpr int kKeepDefaultMs = 250;

void Relaunch(const std::string& folder) {
  const std::string program = folder + "/tonvex";
  char name[] = "tonvex";
  char relaunched[] = "/S";
  char* argv[] = {name, relaunched, nullptr};
  pid_t child = 0;
  posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ);
}

}  // namespace

CTonvexApp::CTonvexApp(std::vector<std::string> arguments, std::string workingFolder, platform::UserPrompt* prompt)
    : arguments_(std::move(arguments)), workingFolder_(std::move(workingFolder)), prompt_(prompt ? *prompt : boxes_) {}

CTonvexApp::~CTonvexApp() = default;

// A user product key without "version" is a broken installation: the start is refused.
bool CTonvexApp::ProbeInstalledVersion() {
  platform::RegistryKey key;
  if (key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(settings::kStringProductKey), platform::KEY_READ) != 0)
    return true;
  std::string version;
  return key.QueryString("version", &version, 1024) == 0;
}

bool CTonvexApp::TakeInstanceLock(bool relaunched) {
  using Result = platform::InstanceLock::Result;
  Result result = lock_.Acquire();
  // After an update the previous program may still be ending: wait for it a little.
  for (int waited = 0; relaunched && result == Result::kHeldByOther && waited < relaunchWaitMs; waited += 100) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    result = lock_.Acquire(0);
  }
  alreadyRunning_ = result == Result::kHeldByOther;
  return result == Result::kAcquired;
}

bool CTonvexApp::InitInstance() {
  platform::SetPrompt(&prompt_);
  if (!ProbeInstalledVersion()) return false;
  // A missing catalogue leaves Qt's own buttons and file dialogs in English; ours follow the string table.
  widgets::InstallQtTranslations(settings::LoadUiLanguage());

  const CommandLine line = ParseCommandLine(arguments_, workingFolder_);
  if (line.kind == CommandLine::Kind::kRefuse) {
    std::fprintf(stderr, "tonvex: arguments not understood (see tonvex --help)\n");
    return false;
  }
  const bool locked = TakeInstanceLock(line.kind == CommandLine::Kind::kRelaunched);
  if (line.kind == CommandLine::Kind::kFile &&
      !TakeFileArgument(
          line.file, alreadyRunning_, [](const std::string& file) { return settings::Selection().ImportFile(file); },
          prompt_))
    return false;

  switch (SwapUpdate(ExecutableFolder())) {
    case UpdateSwap::kRefuse: return false;
    case UpdateSwap::kRelaunch:
      lock_.Release();
      Relaunch(ExecutableFolder());
      return false;
    case UpdateSwap::kMoveFailed: prompt_.ShowMessage("Move file failed 2.", platform::PromptButtons::Ok); break;
    case UpdateSwap::kNone: break;
  }
  if (!locked) {
    if (alreadyRunning_) {
      prompt_.ShowMessage(platform::LoadString(kStringAlreadyRunning), platform::PromptButtons::Ok);
      AskRunningToComeForward();
    } else {
      // The lock file cannot be made (an unwritable or missing runtime folder): say why instead of ending
      // silently, on stderr too for a start from a terminal or a session log.
      const std::string text = platform::LoadString(kStringNoInstanceLock) + "\n\n" + lock_.ErrorText();
      std::fprintf(stderr, "tonvex: %s\n", text.c_str());
      prompt_.ShowMessage(text, platform::PromptButtons::Ok);
    }
    return false;
  }

  // From here on the start goes through: the installation's first start makes the user's product key.
  {
    platform::RegistryKey key;
    if (key.Create(platform::HKEY_CURRENT_USER, platform::LoadString(settings::kStringProductKey)) == 0 &&
        !ProbeInstalledVersion())
      key.SetString("version", kVersion);
  }
  engine::ProcessingParameters& parameters = engine::Parameters();
  live_ = std::make_unique<audio::LiveAudio>(reports_, parameters);
  monitor_ = std::make_unique<graphs::CEngineMonitor>(live_->Dsp(), parameters);
  settings::PresetSelection& selection = settings::Selection();
  // Each change of the configuration marks it modified; once the changes settle it is kept in "Custom.tvh".
  panelState_ = std::make_unique<panels::PanelState>(
      parameters, settings::Configuration(), prompt_, *monitor_, [this, &selection] {
        selection.MarkModified();
        panelState_->writes.Schedule(panels::StoredPart::kConfiguration,
                                     [&selection] { selection.KeepPendingChanges(); });
      });
  panels::LoadVolumeSettings(*panelState_);
  panels::LoadLimiterSettings(*panelState_);
  valuesLoaded_ = true;

  std::string outputDevice;
  try {
    live_->Connect();
    outputDevice = live_->SelectOutput();
  } catch (const audio::AlreadyRunning&) {
    // Started with another lock folder (XDG_RUNTIME_DIR) beside one that runs on the same server.
    alreadyRunning_ = true;
    valuesLoaded_ = false;  // nothing of this start is written back
    prompt_.ShowMessage(platform::LoadString(kStringAlreadyRunning), platform::PromptButtons::Ok);
    return false;
  } catch (const std::exception& e) {
    // Without a server or a real device the program runs without sound.
    prompt_.ShowMessage(live_->Connected() ? platform::LoadString(kStringNoDevice) : e.what(),
                        platform::PromptButtons::Ok);
  }

  settings::ApplicationSwitches& switches = settings::Switches();
  switches.Load();
  frame_ = std::make_unique<CMainFrame>(
      FrameParts{*panelState_, selection, switches, prompt_, live_->Connected() ? &live_->Outputs() : nullptr,
                 &live_->Dsp().Output(), outputDevice, [this] { return live_->PlayingDevice(); }});
  panels::PanelHost& host = frame_->Host();
  host.AddStandardPanelTabs();
  host.ShowFirstPanel();
  reporter_ = std::make_unique<widgets::QtEngineReporter>(reports_, frame_.get());
  frame_->ShowAtStart(switches.startMinimized != 0);
  CMainFrame* frame = frame_.get();
  forward_.Listen([frame] { frame->OnCommand(services::kCommandOpenWindow); });
  StartRemoteControl();

  if (live_->Connected() && !outputDevice.empty()) {
    live_->Start(lock_);
    // A server that restarted comes back with its own default: the virtual device takes the role again.
    auto* keepDefault = new QTimer(frame);
    QObject::connect(keepDefault, &QTimer::timeout, keepDefault, [this] { live_->KeepDefault(); });
    keepDefault->start(kKeepDefaultMs);
  }
  return true;
}

void CTonvexApp::StartRemoteControl() {
  CMainFrame* frame = frame_.get();
  services::RemoteHandlers handlers;
  handlers.loadPreset = [frame](const std::string& title) { return frame->SelectPreset(title); };
  handlers.loadFile = [frame](const std::string& path) { return frame->OpenConfiguration(path); };
  handlers.bypass = [frame] { return frame->Bypass().isChecked(); };
  handlers.setBypass = [frame](bool on) { frame->Bypass().setChecked(on); };
  handlers.status = [this] { return RemoteStatus(); };
  remote_ = std::make_unique<services::CRemoteControl>(std::move(handlers));
  QString error;
  if (!remote_->Register(&error) && !error.isEmpty())
    std::fprintf(stderr, "tonvex: no remote control on the session bus: %s\n", error.toLocal8Bit().constData());
}

std::vector<std::pair<std::string, std::string>> CTonvexApp::RemoteStatus() {
  const engine::WaveFormat format = live_->Dsp().PlayingFormat();
  std::string formatText = "idle";
  if (format.samplesPerSec != 0)
    formatText = std::to_string(format.samplesPerSec) + " Hz, " + std::to_string(format.bitsPerSample) + " bit, " +
                 std::to_string(format.channels) + " channels";
  // The output's short locks, as the live status line takes them; asked for by a person, not every block.
  const engine::OutputStatistics statistics = live_->Dsp().Output().Statistics();
  return {{services::kStatusConfiguration, frame_->ShownConfiguration()},
          {services::kStatusOutputDevice, frame_->OutputDevice()},
          {services::kStatusFormat, formatText},
          {services::kStatusBypass, frame_->Bypass().isChecked() ? "on" : "off"},
          {services::kStatusDroppedBlocks,
           std::to_string(statistics.blocksSkipped + statistics.blocksDroppedBusy + statistics.blocksRefused)}};
}

int CTonvexApp::ExitInstance() {
  if (valuesLoaded_) {
    panelState_->writes.Flush();
    panels::SaveVolumeSettings(*panelState_);
    panels::SaveLimiterSettings(*panelState_);
  }
  if (live_) live_->Stop();
  remote_.reset();
  reporter_.reset();
  frame_.reset();
  platform::SetPrompt(nullptr);
  lock_.Release();
  return 0;
}

}  // namespace desktop
