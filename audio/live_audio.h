#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "audio/audio_backend.h"
#include "audio/pipewire_driver.h"
#include "audio/pipewire_live_path.h"
#include "audio/pipewire_wave_out.h"
#include "audio/pulse_driver.h"
#include "audio/pulse_wave_out.h"
#include "audio/run_error.h"
#include "audio/virtual_device_session.h"
#include "engine/dsp_main.h"
#include "engine/engine_reporter.h"
#include "platform/instance_lock.h"
#include "platform/pulse_connection.h"

namespace audio {

// Another Tonvex of this user already runs on the same audio server (found there, whatever lock folder the
// environment names): nothing was changed.
class AlreadyRunning : public RunError {
 public:
  explicit AlreadyRunning(long holder)
      : RunError("Tonvex is already running (process " + std::to_string(holder) +
                 "); only one may own the virtual device"),
        holder_(holder) {}
  long Holder() const { return holder_; }

 private:
  long holder_;
};

// The live engine's life on the audio server, shared by `tonvex-cli live` and the desktop program: the
// control connection, the playback devices, the engine, and the virtual device that becomes the default
// sink while the engine runs and hands the default back at the end (a guardian does it if this process
// dies). The caller holds the instance lock before Connect. The sound goes through the PulseAudio protocol or,
// on PipeWire, inside its graph (see audio_backend.h); the control, the device list and the default sink are
// always handled through the PulseAudio protocol.
class LiveAudio {
 public:
  // `backend`: "pulse", "pipewire", or empty for the environment's choice (kBackendVariable) or detection.
  LiveAudio(engine::IEngineReporter& reporter, engine::ProcessingParameters& parameters,
            const std::string& backend = std::string());
  ~LiveAudio();
  LiveAudio(const LiveAudio&) = delete;
  LiveAudio& operator=(const LiveAudio&) = delete;

  // Reaches the server and lists its playback devices; RunError when it cannot, AlreadyRunning when another
  // instance of this user is connected there. Remembers the default sink and settles the backend (RunError
  // when the one asked for cannot be used).
  void Connect(int timeoutMs = 3000);
  bool Connected() const { return connected_; }
  // Picks the output (`option` a description or sink name for this run only; empty: the output rule with the
  // remembered device) and selects it on the engine's output; RunError when there is none.
  std::string SelectOutput(const std::string& option = std::string());
  // Guards the desktop, mutes the output until the engine plays, starts the engine and makes the virtual
  // device the default. Failures that leave the engine running go to the reporter.
  void Start(const platform::InstanceLock& lock);
  // A server that came back starts with its own default: takes the role again, and keeps taking it for a few
  // seconds while something else (a session manager) sets another. Also replaces a guardian that died. Call
  // now and then (every 250 ms to 1 s).
  void KeepDefault();
  // Hands the default back, stops the engine and puts the output's volume back; nothing when never started.
  void Stop();

  engine::CDspMain& Dsp() { return *dsp_; }
  audio::PulseWaveOutSystem& Outputs() { return outputs_; }
  const std::string& OutputSink() const { return outputSink_; }
  // The description of the device the sound plays on now, which follows the sinks as they come and go;
  // empty before the output has opened or while there is no real sink.
  std::string PlayingDevice() { return backendOutputs_.PlayingDevice(); }
  audio::AudioBackend Backend() const { return backend_; }
  bool Started() const { return started_; }

 private:
  void ChooseBackend();

  engine::IEngineReporter& reporter_;
  std::atomic<int> connections_{0};
  int seenConnections_ = 0;
  static constexpr std::chrono::seconds kRetakeWindow{3};
  std::chrono::steady_clock::time_point retakeUntil_{};
  platform::PulseConnection control_;
  audio::PulseWaveOutSystem outputs_;
  audio::PulseDriverOpener driver_;
  audio::PipeWireLivePath graph_;
  audio::PipeWireWaveOutSystem graphOutputs_;
  audio::PipeWireDriverOpener graphDriver_;
  audio::BackendWaveOutSystem backendOutputs_;
  audio::BackendDriverOpener backendDriver_;
  std::string backendOption_;
  audio::AudioBackend backend_ = audio::AudioBackend::kPulse;
  std::unique_ptr<engine::CDspMain> dsp_;
  audio::VirtualDeviceSession session_;
  std::string startDefault_;
  std::string outputSink_;
  bool connected_ = false;
  bool started_ = false;
};

}  // namespace audio
