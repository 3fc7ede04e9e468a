#include "tools/live_session.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <ctime>

#include "audio/pulse_driver.h"
#include "audio/pulse_wave_out.h"
#include "audio/virtual_device_session.h"
#include "engine/dsp_main.h"
#include "engine/exceptions.h"
#include "engine/engine_reporter.h"
#include "platform/instance_lock.h"
#include "platform/pulse_connection.h"
#include "platform/pulse_sinks.h"
#include "tools/output_selection.h"

namespace cli {
namespace {

// Engine failures in a program without a window go to stderr, where the user sees them.
class StderrReporter : public engine::IEngineReporter {
 public:
  void ShowError(const std::string& text) override { std::fprintf(stderr, "tonvex-cli: %s\n", text.c_str()); }
};

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

std::string SinkNameOf(audio::PulseWaveOutSystem& outputs, const std::string& description) {
  for (const audio::OutputCandidate& sink : outputs.Candidates())
    if (sink.description == description) return sink.name;
  return description;
}

std::string StatusLine(engine::CDspMain& dsp) {
  const engine::StreamFormat format = dsp.DriverLink().Format();
  const int state = dsp.DriverLink().State();
  const engine::OutputStatistics stats = dsp.Output().Statistics();
  char line[256];
  if (format.samplesPerSec == 0 || !dsp.Output().IsOpen())
    std::snprintf(line, sizeof line, "format: idle");
  else
    std::snprintf(line, sizeof line, "format: %u Hz %u-bit %u ch", format.samplesPerSec, format.bitsPerSample,
                  format.channels);
  char rest[256];
  std::snprintf(rest, sizeof rest, " | state %d | queue %d | blocks dropped %llu | silent buffers inserted %llu",
                state, stats.queued, static_cast<unsigned long long>(stats.blocksSkipped + stats.blocksDroppedBusy + stats.blocksRefused),
                static_cast<unsigned long long>(stats.silentBuffersInserted));
  return std::string(line) + rest;
}

}  // namespace

int RunLive(const ProcessingOptions& options, const std::string& outputDevice) {
  // The signals are taken synchronously by this thread; every thread started from here inherits the mask.
  // A closed terminal (SIGHUP) or a reader that went away (SIGPIPE, `live | head`) ends it like SIGTERM.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int stop : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&stopSignals, stop);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  platform::InstanceLock instance;
  switch (instance.Acquire()) {
    case platform::InstanceLock::Result::kAcquired:
      break;
    case platform::InstanceLock::Result::kHeldByOther:
      throw RunError("Tonvex is already running (process " + std::to_string(instance.Holder()) +
                     "); only one may own the virtual device");
    case platform::InstanceLock::Result::kFailed:
      throw RunError("cannot take the instance lock: " + instance.ErrorText());
  }

  std::atomic<int> connections{0};
  platform::PulseConnection control("Tonvex control", {[&](pa_context*) { ++connections; }, {}, {}});
  if (!control.Start() || !control.WaitReady(3000)) throw RunError("no audio server is reachable");

  engine::ProcessingParameters& parameters = engine::Parameters();
  ApplyProcessingOptions(options, parameters);

  audio::PulseWaveOutSystem outputs;
  if (!outputs.Start(3000)) throw RunError("the audio server did not list its playback devices");
  audio::PulseDriverOpener driver;
  StderrReporter reporter;
  int seenConnections = connections.load();
  std::string startDefault;
  platform::GetDefaultSink(control, &startDefault);
  std::string outputSink;
  audio::VirtualDeviceSession session(control);
  {
    engine::CDspMain dsp(driver, outputs, reporter, parameters);
    outputSink = SinkNameOf(outputs, SelectLiveOutput(outputs, dsp.Output(), outputDevice, startDefault));
    std::string unguarded;
    if (!session.Begin(instance, outputSink, &unguarded)) std::fprintf(stderr, "tonvex-cli: %s\n", unguarded.c_str());
    driver.SetSinkFormat(session.SinkFormat());
    try {
      dsp.Output().MuteDevice();
    } catch (const engine::Exception& e) {
      reporter.ShowError(e.Text());
    }
    dsp.Start();
    if (!MakeVirtualDefault(control)) std::fprintf(stderr, "tonvex-cli: could not make the virtual device the default\n");
    std::printf("live: output \"%s\"; stop with Ctrl+C\n", outputSink.c_str());
    std::fflush(stdout);

    for (;;) {
      struct timespec second = {1, 0};
      const int got = sigtimedwait(&stopSignals, nullptr, &second);
      if (got > 0) break;
      // A server that came back starts with its own default: take the role again.
      if (connections.load() != seenConnections) {
        seenConnections = connections.load();
        MakeVirtualDefault(control);
      }
      std::printf("%s\n", StatusLine(dsp).c_str());
      std::fflush(stdout);
    }
    session.HandBack();
    dsp.Stop();
    try {
      dsp.Output().RestoreDeviceVolume();
    } catch (const engine::Exception& e) {
      reporter.ShowError(e.Text());
    }
  }
  session.End();
  return 0;
}

}  // namespace cli
