#pragma once
#include <atomic>
#include <cstdint>

#include "engine/capture_ring.h"
#include "engine/channel_chain.h"
#include "engine/driver_protocol.h"
#include "engine/engine_reporter.h"
#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"
#include "engine/user_mode.h"
#include "engine/wave_device.h"
#include "engine/wave_output.h"
#include "platform/thread.h"

namespace engine {

// The audio engine: the capture ring with the driver link that fills it, the output and the processing
// thread that runs every block from the ring through the channel chain.
class CDspMain {
 public:
  CDspMain(IDriverOpener& driver, IWaveOutSystem& devices, IEngineReporter& reporter, ProcessingParameters& parameters);
  virtual ~CDspMain();
  CDspMain(const CDspMain&) = delete;
  CDspMain& operator=(const CDspMain&) = delete;

  // Opens the driver and starts both threads (none where the driver has its blocks read and processed on
  // its own thread). Failures are shown through the reporter; the program then runs on without audio.
  void Start();
  // Ends both threads, closes the output and releases its buffers. Does nothing unless started.
  void Stop();

  // One pass of the processing thread after its wait; false when no block was waiting.
  // Exposed so tests can step the engine without threads.
  bool ProcessPendingBlock();

  // The format of the blocks the output plays while it is open; all zero while it is closed or before
  // the first block. Never waits: the monitor shows it from the user interface every 100 ms.
  WaveFormat PlayingFormat() const;

  CUserMode& DriverLink() { return link_; }
  CCaptureRing& Ring() { return ring_; }
  CWaveOutput& Output() { return output_; }
  CChannelChain& Chain() { return chain_; }

 private:
  uint32_t ProcessingThread();
  void ProcessWaitingBlocks();  // until none waits or the engine stops
  bool ReadBlock(WaveFormat* format, int* frames, bool* holdsSound);

  ProcessingParameters& parameters_;
  CCaptureRing ring_;
  CUserMode link_;
  CWaveOutput output_;
  CChannelChain chain_;
  IEngineReporter& reporter_;
  CSignalBuffer buffers_[kChannels];
  platform::Thread thread_;
  std::atomic<uint8_t> stopFlag_{0};
  std::atomic<uint64_t> playingFormat_{0};  // of the last block played: rate, bits << 32, channels << 48
  bool started_ = false;
};

}  // namespace engine
