#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "engine/capture_ring.h"
#include "engine/driver_protocol.h"
#include "platform/critical_section.h"
#include "platform/event.h"
#include "platform/thread.h"

namespace engine {

class CWaveOutput;

// Capture states.
enum CaptureState : int32_t {
  kCaptureOpened = 0,     // no format seen yet
  kCaptureFormatted = 1,  // format received, output reopened, ring emptied
  kCaptureStreaming = 2,
  kCaptureStopped = 3,  // the driver reported that playback stopped
  kCaptureFault = 4,    // data refused until the next format report, or only while the ring is full
};

// The driver link: opens the driver, runs the capture thread that pulls PCM blocks into the capture ring,
// and follows format reports by reopening the output.
class CUserMode {
 public:
  CUserMode(IDriverOpener& opener, CCaptureRing& ring, CWaveOutput& output);
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

  int32_t State() const { return state_; }
  // The last format reported, for any thread (it takes the ring lock).
  StreamFormat Format();

 private:
  uint32_t CaptureThread();
  void ReleaseDevice();  // by whichever thread read it last
  void OnFormatReport();
  void OnData(uint32_t bytes);
  void RefuseBlock(uint32_t bytes);
  bool FormatSupported() const;

  IDriverOpener& opener_;
  CCaptureRing& ring_;
  CWaveOutput& output_;
  std::unique_ptr<IDriverDevice> device_;
  std::shared_ptr<platform::Event> driverEvent_;
  // The same event, held for Stop to wake the capture thread with (the thread releases driverEvent_).
  std::shared_ptr<platform::Event> wake_;
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
