#include "audio/live_audio.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "audio/output_selection.h"
#include "audio/run_error.h"
#include "engine/exceptions.h"
#include "platform/pulse_sinks.h"

namespace audio {
namespace {

// Makes the virtual sink the default one; it may still be on its way after a (re)connection.
bool MakeVirtualDefault(platform::PulseConnection& control) {
  platform::PulseSink sink;
  for (int attempt = 0; attempt < 40; ++attempt) {
    if (platform::FindSinkByDescription(control, engine::kVirtualDeviceName, &sink))
      return platform::SetDefaultSink(control, sink.name);
    struct timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return false;
}

// The process of another instance's control connection on this server, run by this user and connected
// before ours (of two that start together, the later one gives way); 0 when none. The instance lock lives in
// a folder the environment names; the server is what two instances would share.
long OtherInstanceOnServer(platform::PulseConnection& control, const std::string& connectionName) {
  std::vector<platform::PulseClient> clients;
  platform::ListClients(control, &clients);
  uint32_t ours = PA_INVALID_INDEX;
  {
    platform::LoopLock lock(control);
    if (control.Context()) ours = pa_context_get_index(control.Context());
  }
  char user[256] = "";
  pa_get_user_name(user, sizeof user);
  for (const platform::PulseClient& client : clients)
    if (client.name == connectionName && client.processId != getpid() && client.index < ours &&
        (client.user.empty() || client.user == user))
      return client.processId > 0 ? client.processId : -1;
  return 0;
}

constexpr const char* kControlName = "Tonvex control";

}  // namespace

LiveAudio::LiveAudio(engine::IEngineReporter& reporter, engine::ProcessingParameters& parameters,
                     const std::string& backend)
    : reporter_(reporter),
      control_(kControlName, {[this](pa_context*) { ++connections_; }, {}, {}}),
      graphOutputs_(outputs_, graph_),
      graphDriver_(graph_),
      backendOutputs_(outputs_),
      backendDriver_(driver_),
      backendOption_(backend),
      dsp_(std::make_unique<engine::CDspMain>(backendDriver_, backendOutputs_, reporter, parameters)),
      session_(control_) {
  if (backendOption_.empty()) {
    const char* variable = std::getenv(audio::kBackendVariable);
    backendOption_ = variable ? variable : "";
  }
}

LiveAudio::~LiveAudio() { Stop(); }

void LiveAudio::Connect(int timeoutMs) {
  if (!control_.Start() || !control_.WaitReady(timeoutMs)) throw RunError("no audio server is reachable");
  if (const long other = OtherInstanceOnServer(control_, kControlName)) {
    control_.Shutdown();
    throw AlreadyRunning(other);
  }
  if (!outputs_.Start(timeoutMs)) throw RunError("the audio server did not list its playback devices");
  seenConnections_ = connections_.load();
  platform::GetDefaultSink(control_, &startDefault_);
  ChooseBackend();
  connected_ = true;
}

void LiveAudio::ChooseBackend() {
  bool automatic = false;
  if (!audio::ParseAudioBackend(backendOption_, &backend_, &automatic))
    throw RunError("unknown audio backend \"" + backendOption_ + "\" (pulse or pipewire)");
  if (automatic) {
    std::string serverName;
    platform::GetServerName(control_, &serverName);
    backend_ = audio::DetectAudioBackend(serverName, serverName.empty() && audio::PipeWireLivePath::ServerAnswers());
  } else if (backend_ == audio::AudioBackend::kPipeWire && !audio::PipeWireLivePath::ServerAnswers()) {
    throw RunError("no PipeWire server is reachable");
  }
  const bool graph = backend_ == audio::AudioBackend::kPipeWire;
  backendOutputs_.Use(graph ? static_cast<engine::IWaveOutSystem&>(graphOutputs_) : outputs_);
  backendDriver_.Use(graph ? static_cast<engine::IDriverOpener&>(graphDriver_) : driver_);
  graph_.SetStartDefault(startDefault_);
}

std::string LiveAudio::SelectOutput(const std::string& option) {
  const std::string description = SelectLiveOutput(outputs_, dsp_->Output(), option, startDefault_);
  outputSink_ = description;
  for (const audio::OutputCandidate& sink : outputs_.Candidates())
    if (sink.description == description) outputSink_ = sink.name;
  graph_.SetOutput(description);
  return description;
}

void LiveAudio::Start(const platform::InstanceLock& lock) {
  std::string unguarded;
  // In the graph the virtual sink is this process's own node: one loaded by an earlier run is not adopted.
  if (backend_ == audio::AudioBackend::kPipeWire) audio::RemoveVirtualSinks(control_);
  if (!session_.Begin(lock, outputSink_, &unguarded)) reporter_.ShowError(unguarded);
  driver_.SetSinkFormat(session_.SinkFormat());
  graphDriver_.SetSinkFormat(session_.SinkFormat());
  try {
    dsp_->Output().MuteDevice();
  } catch (const engine::Exception& e) { reporter_.ShowError(e.Text()); }
  dsp_->Start();
  started_ = true;
  if (!MakeVirtualDefault(control_)) reporter_.ShowError("could not make the virtual device the default");
}

void LiveAudio::KeepDefault() {
  if (!started_) return;
  session_.KeepGuarded();
  const auto now = std::chrono::steady_clock::now();
  if (connections_.load() != seenConnections_) {
    seenConnections_ = connections_.load();
    retakeUntil_ = now + kRetakeWindow;
  }
  if (now >= retakeUntil_) return;
  // A session manager (wireplumber) may set its own default a moment after the server came back: within
  // the window the role is taken again whenever another sink holds it. After it, the user's choice stands.
  std::string current;
  platform::PulseSink virtualSink;
  if (platform::GetDefaultSink(control_, &current) &&
      platform::FindSinkByDescription(control_, engine::kVirtualDeviceName, &virtualSink) &&
      current == virtualSink.name)
    return;
  MakeVirtualDefault(control_);
}

void LiveAudio::Stop() {
  if (!started_) return;
  started_ = false;
  session_.HandBack();
  dsp_->Stop();
  graph_.Stop();  // the virtual sink goes with it
  try {
    dsp_->Output().RestoreDeviceVolume();
  } catch (const engine::Exception& e) { reporter_.ShowError(e.Text()); }
  session_.End();
}

}  // namespace audio
