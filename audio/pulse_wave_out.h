#pragma once
#include <pulse/pulseaudio.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "audio/output_device_rule.h"
#include "engine/queue_rate_control.h"
#include "engine/wave_device.h"
#include "platform/pulse_connection.h"

namespace audio {

class PulseWaveOutStream;

// The server's sinks as output devices, numbered in the server's order and named by their descriptions.
// The list is kept current on the mainloop thread, so asking for it never waits for the server.
// The program's output streams follow the sinks: a stream plays on the sink it was opened for while that sink
// exists; while it is away, on the one the output rule picks (never the virtual device, never the server's
// choice); with no real sink, on none. The wave and mixer volumes are those of the program's own streams: a
// sink's volume is never changed.
class PulseWaveOutSystem : public engine::IWaveOutSystem {
 public:
  PulseWaveOutSystem();
  ~PulseWaveOutSystem() override;

  // Connects and waits (at most timeoutMs) for the first list of sinks; false when no server answers.
  bool Start(int timeoutMs);
  // The server's name of the sink that was the default when the program started: the output rule's second
  // choice when an output's own sink is away.
  void SetStartDefault(const std::string& sinkName);

  unsigned DeviceCount() override;
  engine::MmResult DeviceName(unsigned index, std::string* name) override;
  engine::MmResult Open(unsigned index, const engine::WaveFormat& format,
                        std::unique_ptr<engine::IWaveOutStream>* stream) override;
  // Opens a stream for the device described `description`, even while no such sink exists.
  engine::MmResult OpenNamed(const std::string& description, const engine::WaveFormat& format,
                             std::unique_ptr<engine::IWaveOutStream>* stream) override;
  // Open streams play on the sink described `description` from now on (a new stream on it, at once).
  void MoveOpenStreams(const std::string& description) override;
  // A factor on the program's own output streams, whichever sink they play on; `index` is not used.
  bool SetMixerVolume(unsigned index, unsigned percent) override;

  // The devices as the output rule sees them, in the server's order.
  std::vector<OutputCandidate> Candidates();
  // The description of the sink the last opened stream plays on (or goes to) now.
  std::string PlayingDevice() override;

 private:
  friend class PulseWaveOutStream;
  void Refresh();  // mainloop thread
  void Follow();   // mainloop thread: every open stream goes where the rule says

  platform::PulseConnection connection_;
  std::mutex sinksMutex_;
  std::vector<OutputCandidate> sinks_;
  std::string startDefault_;
  std::string playing_;  // under sinksMutex_, set where a stream's sink is chosen
  std::atomic<bool> listed_{false};
  // Mainloop state.
  std::vector<OutputCandidate> listing_;
  bool refreshing_ = false;
  bool refreshAgain_ = false;
  std::vector<PulseWaveOutStream*> streams_;
  pa_volume_t mixerVolume_ = PA_VOLUME_NORM;
  // The margin the last output stream had learned: it belongs to the machine, so every stream starts from it.
  std::atomic<double> learnedMarginUs_{engine::QueueRateControl::kStartMarginUs};
};

}  // namespace audio
