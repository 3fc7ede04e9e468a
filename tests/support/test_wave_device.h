#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/wave_device.h"

namespace testing_support {

class TestWaveOutSystem;

// An output device that plays only when the test says so; its system records every byte it played.
class TestWaveOutStream : public engine::IWaveOutStream {
 public:
  TestWaveOutStream(TestWaveOutSystem& system, unsigned index) : system_(system), index_(index) {}
  ~TestWaveOutStream() override;

  engine::MmResult Prepare(engine::WaveHeader& header) override;
  engine::MmResult Unprepare(engine::WaveHeader& header) override;
  engine::MmResult Write(engine::WaveHeader& header) override;
  engine::MmResult Reset() override;
  engine::MmResult Close() override;
  engine::MmResult SetVolume(uint32_t volume) override;
  bool HoldsItsQueue() const override;
  engine::QueueTiming Timing() const override;

  bool failWrite = false;

 private:
  friend class TestWaveOutSystem;
  // With the system's lock held: hands the oldest `count` queued buffers back, played or not.
  int ReturnLocked(int count, bool played);

  TestWaveOutSystem& system_;
  const unsigned index_;
  // A fixed ring, so writing never allocates on the caller's thread.
  std::array<engine::WaveHeader*, 64> queue_{};
  int head_ = 0, count_ = 0;
};

class TestWaveOutSystem : public engine::IWaveOutSystem {
 public:
  explicit TestWaveOutSystem(std::vector<std::string> names = {"Speakers", "Headphones"}) : names_(std::move(names)) {}

  unsigned DeviceCount() override { return static_cast<unsigned>(names_.size()); }
  engine::MmResult DeviceName(unsigned index, std::string* name) override;
  engine::MmResult Open(unsigned index, const engine::WaveFormat& format,
                        std::unique_ptr<engine::IWaveOutStream>* stream) override;
  bool SetMixerVolume(unsigned index, unsigned percent) override;

  // The stream open now, or null.
  TestWaveOutStream* Current() { return Locked(current_); }
  // Plays the oldest `count` queued buffers of the open stream (fewer if fewer are queued).
  int Play(int count);
  int Queued();

  std::vector<uint8_t> Played() { return Locked(played_); }  // every byte played, in order, across opens
  int OpenCount() { return Locked(opens_); }
  int CloseCount() { return Locked(closes_); }
  int ResetCount() { return Locked(resets_); }
  std::vector<engine::WaveFormat> OpenedFormats() { return Locked(formats_); }
  std::map<unsigned, unsigned> MixerVolumes() { return Locked(mixer_); }
  std::map<unsigned, uint32_t> WaveVolumes() { return Locked(waveVolumes_); }
  // The thread that last wrote a buffer (the engine's processing thread).
  std::thread::id WriterThread() const { return writer_.load(); }
  uint64_t BuffersWritten() const { return written_.load(); }
  uint64_t BuffersPlayed() const { return playedBuffers_.load(); }

  engine::MmResult openResult = engine::kMmNoError;
  // Its streams say they hold their queue in time themselves (as the PulseAudio output does).
  std::atomic<bool> holdsItsQueue{false};
  // The times such a stream ran dry, as its Timing reports them.
  std::atomic<uint64_t> underruns{0};
  // The depth such a stream holds its queue at, as its Timing reports it (0: none given).
  std::atomic<double> targetMs{0};
  // Called at every open, before the stream exists (on the opening thread).
  std::function<void()> onOpen;
  // Called at every reset, once the buffers are handed back (on the resetting thread).
  std::function<void()> onReset;
  // Called at every close, before anything else (on the closing thread).
  std::function<void()> onClose;

 private:
  friend class TestWaveOutStream;
  template <typename T>
  T Locked(const T& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    return value;
  }
  std::vector<std::string> names_;
  std::mutex mutex_;  // guards everything below and the streams' queues
  TestWaveOutStream* current_ = nullptr;
  std::vector<uint8_t> played_;
  std::vector<engine::WaveFormat> formats_;
  std::map<unsigned, unsigned> mixer_;
  std::map<unsigned, uint32_t> waveVolumes_;
  int opens_ = 0, closes_ = 0, resets_ = 0;
  std::atomic<std::thread::id> writer_{};
  std::atomic<uint64_t> written_{0}, playedBuffers_{0};
};

}  // namespace testing_support
