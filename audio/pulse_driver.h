#pragma once
#include <pulse/pulseaudio.h>

#include <atomic>
#include <memory>
#include <string>

#include "audio/capture_queue.h"
#include "engine/driver_protocol.h"
#include "platform/pulse_connection.h"

namespace audio {

// The rate and channels the virtual sink is made with: the output's, so the server converts nothing on
// the way through the program (0 = the server's default).
struct VirtualSinkFormat {
  uint32_t rate = 0;
  uint8_t channels = 0;
};

// The virtual playback device on the audio server: a null sink described as "Tonvex (Brevalto)" (loaded when
// the server has none, unloaded again when this device closes) whose monitor is captured and served through
// the driver protocol. Playback into the sink starts a stream with a format report; the sink going idle,
// suspended or away stops it. When the server goes away the device answers as a stopped driver and starts
// again, with a format report, once the server is back. All server work runs on the connection's mainloop
// thread; Control only takes the queue's short lock.
class PulseDriverDevice : public engine::IDriverDevice {
 public:
  explicit PulseDriverDevice(VirtualSinkFormat format = {});
  ~PulseDriverDevice() override;

  // Connects and waits (at most timeoutMs) until the virtual sink exists; false when no server answers.
  bool Start(int timeoutMs);
  bool Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error) override;
  // The reader runs on the mainloop thread, right after the captured data is queued.
  bool ReadOnDeviceThread(std::function<void()> reader) override;

  bool Streaming() const { return queue_.Streaming(); }
  uint64_t DroppedBytes() const { return queue_.DroppedBytes(); }

 private:
  // Mainloop thread, lock held.
  void Refresh();
  void OnSinkList(const pa_sink_info* info, int eol);
  void OnInputList(const pa_sink_input_info* info, int eol);
  void OnModuleLoaded(uint32_t index);
  void OpenRecord();
  void CloseRecord();
  void SetActive(bool active);
  void OnLost();
  void OnRecordState();
  void RestartSinkClock();
  void OnRecordData();

  const VirtualSinkFormat sinkFormat_;
  bool sinkRewinds_ = false;  // mainloop thread: set once a server has refused the sink without rewinds
  CaptureQueue queue_;
  platform::PulseConnection connection_;
  std::atomic<bool> sinkPresent_{false};

  // Mainloop state.
  bool shuttingDown_ = false;
  bool refreshing_ = false;
  bool refreshAgain_ = false;
  bool loading_ = false;
  bool found_ = false;
  uint32_t loadedModule_ = PA_INVALID_INDEX;
  uint32_t sinkIndex_ = PA_INVALID_INDEX;
  std::string monitorName_;
  pa_sample_spec sinkSampleFormat_{};
  pa_sink_state_t sinkState_ = PA_SINK_INVALID_STATE;
  // Candidate of the list in progress.
  uint32_t seenIndex_ = PA_INVALID_INDEX;
  std::string seenMonitor_;
  pa_sample_spec seenSampleFormat_{};
  pa_sink_state_t seenState_ = PA_SINK_INVALID_STATE;
  int playingInputs_ = 0;
  pa_stream* record_ = nullptr;
  bool recordReady_ = false;
  engine::StreamFormat recordFormat_{};
  double blockUs_ = 0;  // how long one captured block plays
  bool active_ = false;
};

// Opens the virtual device under the protocol's device name.
class PulseDriverOpener : public engine::IDriverOpener {
 public:
  explicit PulseDriverOpener(int timeoutMs = 3000) : timeoutMs_(timeoutMs) {}
  std::unique_ptr<engine::IDriverDevice> Open(const std::string& deviceName) override;
  // For the virtual sink this opener loads from now on; set before the engine starts.
  void SetSinkFormat(VirtualSinkFormat format) { format_ = format; }

 private:
  int timeoutMs_;
  VirtualSinkFormat format_;
};

}  // namespace audio
