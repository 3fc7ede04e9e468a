#include "tools/live_session.h"

#include <signal.h>

#include <cstdio>
#include <ctime>

#include "audio/audio_backend.h"
#include "audio/live_audio.h"
#include "engine/dsp_main.h"
#include "engine/engine_reporter.h"
#include "engine/exceptions.h"
#include "platform/instance_lock.h"
#include "tools/live_settings.h"

namespace cli {
namespace {

// Engine failures in a program without a window go to stderr, where the user sees them.
class StderrReporter : public engine::IEngineReporter {
 public:
  void ShowError(const std::string& text) override { std::fprintf(stderr, "tonvex-cli: %s\n", text.c_str()); }
};

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
  // The counters say what a listener can notice: blocks with sound dropped, silence inserted next to sound.
  // Silence dropped or inserted while nothing plays is shown apart.
  const uint64_t dropped = stats.blocksSkipped + stats.blocksDroppedBusy + stats.blocksRefused;
  char queue[96] = "";
  if (stats.holdsItsQueue)
    std::snprintf(queue, sizeof queue, " (%.1f ms, target %.1f ms, rate %+.2f %%)", stats.timing.depthMs,
                  stats.timing.targetMs, stats.timing.rateCorrection * 100);
  char rest[320];
  std::snprintf(rest, sizeof rest,
                " | state %d | queue %d%s | blocks dropped %llu | silent buffers inserted %llu"
                " | while silent: dropped %llu, inserted %llu",
                state, stats.queued, queue, static_cast<unsigned long long>(stats.soundBlocksDropped),
                static_cast<unsigned long long>(stats.silenceInsertedInSound),
                static_cast<unsigned long long>(dropped - stats.soundBlocksDropped),
                static_cast<unsigned long long>(stats.silentBuffersInserted - stats.silenceInsertedInSound));
  return std::string(line) + rest;
}

}  // namespace

int RunLive(const ProcessingOptions& options, const std::string& outputDevice, const std::string& backend) {
  // The signals are taken synchronously by this thread; every thread started from here inherits the mask.
  // A closed terminal (SIGHUP) or a reader that went away (SIGPIPE, `live | head`) ends it like SIGTERM.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int stop : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&stopSignals, stop);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  platform::InstanceLock instance;
  switch (instance.Acquire()) {
    case platform::InstanceLock::Result::kAcquired: break;
    case platform::InstanceLock::Result::kHeldByOther: throw audio::AlreadyRunning(instance.Holder());
    case platform::InstanceLock::Result::kFailed:
      throw RunError("cannot take the instance lock: " + instance.ErrorText());
  }

  engine::ProcessingParameters& parameters = engine::Parameters();
  ApplyLiveSettings(options, parameters);
  StderrReporter reporter;
  audio::LiveAudio live(reporter, parameters, backend);
  live.Connect();
  live.SelectOutput(outputDevice);
  live.Start(instance);
  std::printf("live: output \"%s\" (%s); stop with Ctrl+C\n", live.OutputSink().c_str(),
              audio::AudioBackendName(live.Backend()));
  std::fflush(stdout);
  for (;;) {
    struct timespec second = {1, 0};
    if (sigtimedwait(&stopSignals, nullptr, &second) > 0) break;
    live.KeepDefault();
    std::printf("%s\n", StatusLine(live.Dsp()).c_str());
    std::fflush(stdout);
  }
  live.Stop();
  return 0;
}

}  // namespace cli
