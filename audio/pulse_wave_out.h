#pragma once
#include <pulse/pulseaudio.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "engine/wave_device.h"
#include "platform/pulse_connection.h"

namespace audio {

// The server's sinks as output devices, numbered in the server's order and named by their descriptions.
// The list is kept current on the mainloop thread, so asking for it never waits for the server.
class PulseWaveOutSystem : public engine::IWaveOutSystem {
 public:
  PulseWaveOutSystem();
  ~PulseWaveOutSystem() override;

  // Connects and waits (at most timeoutMs) for the first list of sinks; false when no server answers.
  bool Start(int timeoutMs);

  unsigned DeviceCount() override;
  engine::MmResult DeviceName(unsigned index, std::string* name) override;
  engine::MmResult Open(unsigned index, const engine::WaveFormat& format,
                        std::unique_ptr<engine::IWaveOutStream>* stream) override;
  bool SetMixerVolume(unsigned index, unsigned percent) override;

  // The server's name of device `index`; empty when there is none.
  std::string SinkName(unsigned index);

 private:
  struct Sink {
    uint32_t index;
    std::string name;
    std::string description;
    uint8_t channels;
  };
  bool SinkAt(unsigned index, Sink* sink);
  void Refresh();  // mainloop thread

  platform::PulseConnection connection_;
  std::mutex sinksMutex_;
  std::vector<Sink> sinks_;
  std::atomic<bool> listed_{false};
  // Mainloop state.
  std::vector<Sink> listing_;
  bool refreshing_ = false;
  bool refreshAgain_ = false;
};

// One playback stream on a sink, in exactly the format asked for. Written buffers go to the server at
// once; a buffer is marked done when the server's clock says it has been played, checked on the mainloop
// thread whenever the server asks for data and at least every 20 ms. A stream whose sink or server goes away fails: queued buffers are marked done and
// writes are refused, so the engine never waits for a device that no longer exists.
class PulseWaveOutStream : public engine::IWaveOutStream {
 public:
  PulseWaveOutStream(platform::PulseConnection& connection, const std::string& sinkName,
                     const pa_sample_spec& sampleFormat, uint32_t blockBytes);
  ~PulseWaveOutStream() override;

  // Under the caller's loop lock; false when the server refused the stream at once.
  bool Connect();
  bool Failed() const { return failed_.load(); }

  engine::MmResult Prepare(engine::WaveHeader& header) override;
  engine::MmResult Unprepare(engine::WaveHeader& header) override;
  engine::MmResult Write(engine::WaveHeader& header) override;
  engine::MmResult Reset() override;
  engine::MmResult Close() override;
  engine::MmResult SetVolume(uint32_t volume) override;

 private:
  struct Queued {
    engine::WaveHeader* header;
    uint64_t end;  // stream byte position at which the header has been played; 0 = not yet sent
  };
  static constexpr size_t kQueueCapacity = 64;

  // Loop lock held.
  void OnState();
  void OnTimer();
  void CheckPlayed();
  void SendUnsent();
  // Marks done, in order, the sent buffers that end at or before `position` (and the unsent ones too).
  void FinishUpTo(uint64_t position, bool unsentToo = false);
  void FinishSent();
  void FinishAll();
  void ApplyVolume();
  void Disconnect();

  platform::PulseConnection& connection_;
  const std::string sinkName_;
  const pa_sample_spec sampleFormat_;
  const uint32_t blockBytes_;
  pa_stream* stream_ = nullptr;
  pa_time_event* timer_ = nullptr;
  std::atomic<bool> failed_{false};
  bool ready_ = false;
  bool closed_ = false;
  std::array<Queued, kQueueCapacity> queue_{};
  size_t head_ = 0;
  size_t count_ = 0;
  uint64_t sent_ = 0;
  uint32_t volume_ = 0xFFFFFFFF;
  pa_operation* timingUpdate_ = nullptr;
  uint64_t lastPosition_ = 0;
  pa_usec_t lastMove_ = 0;
  pa_usec_t lastUpdate_ = 0;
};

}  // namespace audio
