#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "audio/pipewire_live_path.h"
#include "engine/wave_device.h"

namespace audio {

// The output devices on PipeWire: the same list as the PulseAudio side's (`list`, so numbers and names are the
// ones the rest of the program knows), played through the live path's filter. Opening a device tells the path
// which sink to link the filter to; the path follows the same output rule when sinks come and go.
class PipeWireWaveOutSystem : public engine::IWaveOutSystem {
 public:
  PipeWireWaveOutSystem(engine::IWaveOutSystem& list, PipeWireLivePath& path) : list_(list), path_(path) {}

  unsigned DeviceCount() override { return list_.DeviceCount(); }
  engine::MmResult DeviceName(unsigned index, std::string* name) override { return list_.DeviceName(index, name); }
  engine::MmResult Open(unsigned index, const engine::WaveFormat& format,
                        std::unique_ptr<engine::IWaveOutStream>* stream) override;
  engine::MmResult OpenNamed(const std::string& description, const engine::WaveFormat& format,
                             std::unique_ptr<engine::IWaveOutStream>* stream) override;
  // A device chosen while sound plays: the filter is linked to its sink at once.
  void MoveOpenStreams(const std::string& description) override {
    if (description != engine::kVirtualDeviceName) path_.SetOutput(description);
  }
  std::string PlayingDevice() override { return path_.PlayingDevice(); }
  // A factor on the program's own output, whichever sink it plays on; `index` is not used.
  bool SetMixerVolume(unsigned index, unsigned percent) override;
  float MixerGain() const { return mixerGain_.load(std::memory_order_relaxed); }

 private:
  engine::IWaveOutSystem& list_;
  PipeWireLivePath& path_;
  std::atomic<float> mixerGain_{1.0f};
};

// The program's output on PipeWire: each buffer written during a graph cycle goes into the filter's output of
// that same cycle and is done at once. Nothing is queued, so the engine neither tops up nor drops for it.
// Written outside a cycle (nowhere to play), a buffer is done without being played.
class PipeWireWaveOutStream : public engine::IWaveOutStream {
 public:
  PipeWireWaveOutStream(PipeWireWaveOutSystem& system, PipeWireLivePath& path, const engine::WaveFormat& format)
      : system_(system), path_(path), format_(format) {}

  engine::MmResult Prepare(engine::WaveHeader& header) override;
  engine::MmResult Unprepare(engine::WaveHeader& header) override;
  engine::MmResult Write(engine::WaveHeader& header) override;
  engine::MmResult Reset() override { return engine::kMmNoError; }
  engine::MmResult Close() override { return engine::kMmNoError; }
  engine::MmResult SetVolume(uint32_t volume) override;
  bool PlaysAsWritten() const override { return true; }

  // A stream opens and closes on the audio thread whenever the graph starts a new stream: its storage comes from
  // a few slots set aside for it (the heap only when every slot is taken), so that thread never allocates.
  static void* operator new(size_t size);
  static void operator delete(void* stream);

  // Copies whole frames of 32-bit PCM into the cycle's output, scaled by `gain[channel]`; returns the frames.
  static uint32_t PlayInto(GraphCycle& cycle, const uint8_t* data, uint32_t frames, int channels, const float* gain);

 private:
  PipeWireWaveOutSystem& system_;
  PipeWireLivePath& path_;
  const engine::WaveFormat format_;
  std::atomic<uint32_t> volume_{0xFFFFFFFF};
};

}  // namespace audio
