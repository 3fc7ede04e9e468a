#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "engine/driver_protocol.h"
#include "platform/critical_section.h"
#include "platform/event.h"
#include "platform/thread.h"

namespace engine {

class CWaveOutput;

inline constexpr int kRingSlots = 24;

struct InputSlot {
  int32_t ready = 0;  // guarded by ringLock
  uint32_t length = 0;
  uint8_t data[kMaxBlockBytes] = {};
};

// Capture states.
enum CaptureState : int32_t {
  kCaptureOpened = 0,     // no format seen yet
  kCaptureFormatted = 1,  // format received, output reopened, ring emptied
  kCaptureStreaming = 2,
  kCaptureStopped = 3,  // the driver reported that playback stopped
  kCaptureFault = 4,    // data refused until the next format report, or only while the ring is full
};

// The driver link: opens the driver, runs the capture thread that pulls PCM blocks into a ring of
// 24 fixed slots, and follows format reports by reopening the output.
class CUserMode {
 public:
  CUserMode(IDriverOpener& opener, CWaveOutput& output);
  virtual ~CUserMode();
  CUserMode(const CUserMode&) = delete;
  CUserMode& operator=(const CUserMode&) = delete;

  // Opens the driver, registers the event and starts the capture thread; throws Exception. Where the driver
  // offers it, reads on the driver's own thread instead and calls `afterReading` there once it has read what
  // waited.
  void Open(std::function<void()> afterReading = {});
  bool ReadsOnDeviceThread() const { return readOnDevice_; }
  // Open without starting the capture thread, for callers that step CapturePass themselves.
  void OpenDevice();
  // Ends the capture thread (waits up to 10 s).
  void Stop();

  // One pass of the capture thread after its wait: exposed so tests can step the capture side. False when
  // the driver had nothing to answer (or failed).
  bool CapturePass();

  // Consumer side, for the processing thread.
  platform::CriticalSection& RingLock() RETURN_CAPABILITY(ringLock_) { return ringLock_; }
  InputSlot& ReadSlot() REQUIRES(ringLock_) { return ring_[readIndex_]; }
  bool ReadSlotReady() const REQUIRES(ringLock_) { return ring_[readIndex_].ready == 1; }
  // Frees the slot at the read index if it is still ready.
  void ConsumeReadSlot() REQUIRES(ringLock_);
  int32_t& SkipCounter() REQUIRES(ringLock_) { return skipCounter_; }
  // Takes the output regulation's decision about the next input blocks: 0 cancels the drops still pending;
  // a count drops that many, unless earlier drops are still pending (they are left to run out).
  void DropInput(int count) EXCLUDES(ringLock_);
  // Input blocks still to be dropped.
  int PendingDrops() EXCLUDES(ringLock_);

  int32_t State() const { return state_; }
  // The last format reported, for any thread (it takes the ring lock).
  StreamFormat Format();
  int ReadyCount();  // takes the lock; for diagnostics and tests
  // Data blocks dropped on the output's request since Open.
  uint64_t BlocksSkipped() const REQUIRES(ringLock_) { return blocksSkipped_; }
  // Data blocks refused because the ring was full, since Open.
  uint64_t BlocksRefused() const REQUIRES(ringLock_) { return blocksRefused_; }
  // Of the blocks dropped or refused, those that held sound: what a listener can miss.
  uint64_t SoundBlocksLost() const REQUIRES(ringLock_) { return soundLost_; }

 private:
  uint32_t CaptureThread();
  void ReleaseDevice();  // by whichever thread read it last
  void OnFormatReport();
  void OnData(uint32_t bytes);
  void RefuseBlock(uint32_t bytes);
  void EmptyRing();
  bool FormatSupported() const;

  IDriverOpener& opener_;
  CWaveOutput& output_;
  std::unique_ptr<IDriverDevice> device_;
  std::shared_ptr<platform::Event> driverEvent_;
  // The same event, held for Stop to wake the capture thread with (the thread releases driverEvent_).
  std::shared_ptr<platform::Event> wake_;
  platform::CriticalSection ringLock_;
  std::array<InputSlot, kRingSlots> ring_{};
  int32_t writeIndex_ GUARDED_BY(ringLock_) = 0;
  int32_t readIndex_ GUARDED_BY(ringLock_) = 0;
  int32_t skipCounter_ GUARDED_BY(ringLock_) = 0;
  uint64_t blocksSkipped_ GUARDED_BY(ringLock_) = 0;
  uint64_t blocksRefused_ GUARDED_BY(ringLock_) = 0;
  uint64_t soundLost_ GUARDED_BY(ringLock_) = 0;
  // The fault is only a full ring: the stream itself is fine and goes on as soon as a slot is free.
  bool ringOverrun_ = false;  // capture thread only
  // Where a block goes that the full ring cannot take: read from the driver so that it does not pile up
  // there as latency, then dropped.
  std::array<uint8_t, kMaxBlockBytes> refused_{};
  std::atomic<int32_t> state_{kCaptureOpened};
  std::atomic<uint8_t> stopFlag_{0};
  std::atomic<bool> readOnDevice_{false};  // read on the driver's thread: no capture thread runs
  StreamFormat format_{};
  platform::Thread thread_;
};

}  // namespace engine
