#pragma once
#include <sndfile.h>

#include <array>
#include <atomic>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "engine/wave_device.h"

namespace audio {

// One output device that writes what it plays into a WAV file, at the pace a sound card would play it
// (times `speed`), so the engine's queue regulation sees a real device's behaviour.
class WavFileWaveOutSystem : public engine::IWaveOutSystem {
 public:
  explicit WavFileWaveOutSystem(std::string path, double speed = 1.0);
  ~WavFileWaveOutSystem() override;

  unsigned DeviceCount() override { return 1; }
  engine::MmResult DeviceName(unsigned index, std::string* name) override;
  engine::MmResult Open(unsigned index, const engine::WaveFormat& format,
                        std::unique_ptr<engine::IWaveOutStream>* stream) override;
  bool SetMixerVolume(unsigned index, unsigned percent) override;

  // Closes the file; the engine must have closed its stream.
  void Finish();

 private:
  friend class WavFileWaveOutStream;
  bool WriteFrames(std::span<const uint8_t> frames);

  const std::string path_;
  const double speed_;
  std::mutex fileMutex_;
  SNDFILE* file_ = nullptr;
  engine::WaveFormat format_{};
};

class WavFileWaveOutStream : public engine::IWaveOutStream {
 public:
  WavFileWaveOutStream(WavFileWaveOutSystem& system, const engine::WaveFormat& format, double speed);
  ~WavFileWaveOutStream() override;

  engine::MmResult Prepare(engine::WaveHeader& header) override;
  engine::MmResult Unprepare(engine::WaveHeader& header) override;
  engine::MmResult Write(engine::WaveHeader& header) override;
  engine::MmResult Reset() override;
  engine::MmResult Close() override;
  engine::MmResult SetVolume(uint32_t volume) override;
  uint32_t Volume() const { return volume_.load(); }

 private:
  void Play();
  void FinishLocked(engine::WaveHeader* header);

  WavFileWaveOutSystem& system_;
  const engine::WaveFormat format_;
  const double speed_;
  std::mutex mutex_;
  std::array<engine::WaveHeader*, 64> queue_{};
  size_t head_ = 0;
  size_t count_ = 0;
  std::atomic<uint32_t> volume_{0xFFFFFFFF};
  std::atomic<bool> stop_{false};
  std::thread player_;
};

}  // namespace audio
