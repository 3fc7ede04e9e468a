#pragma once
#include <memory>
#include <span>
#include <string>

#include "audio/pipewire_live_path.h"
#include "engine/driver_protocol.h"

namespace audio {

// The virtual device on PipeWire, served through the driver protocol from inside the graph's cycle: the engine's
// reader runs on the data thread for every cycle and reads the cycle's sound in blocks of at most the protocol's
// size (a cycle of 8192 frames is four blocks, all in the same call). The first cycle, and the first after the
// graph paused, begins a stream: a stop report (when one was streaming), then a format report, as a new stream
// on the other server does. Samples go to the engine as 32-bit integers; the graph's own rate is the stream's.
// Outside a cycle nothing waits. Needs no capture thread and no event.
class PipeWireDriverDevice : public engine::IDriverDevice {
 public:
  explicit PipeWireDriverDevice(PipeWireLivePath& path) : path_(path) {}
  ~PipeWireDriverDevice() override;

  bool Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error) override;
  bool ReadOnDeviceThread(std::function<void()> reader) override;

  // The answer to a block request for `cycle`, on the data thread; exposed for tests.
  uint32_t ReadBlock(GraphCycle& cycle, std::span<uint8_t> output);

 private:
  PipeWireLivePath& path_;
  bool inCycle_ = false;  // data thread: the reader is running for a cycle
  bool streaming_ = false;
  engine::StreamFormat reported_{};
};

// Opens the virtual device on the path: starts it (the sink at the format set here) and waits for it.
class PipeWireDriverOpener : public engine::IDriverOpener {
 public:
  explicit PipeWireDriverOpener(PipeWireLivePath& path, int timeoutMs = 3000) : path_(path), timeoutMs_(timeoutMs) {}
  std::unique_ptr<engine::IDriverDevice> Open(const std::string& deviceName) override;
  void SetSinkFormat(VirtualSinkFormat format) { format_ = format; }

 private:
  PipeWireLivePath& path_;
  int timeoutMs_;
  VirtualSinkFormat format_;
};

// The stream format of the path's cycles: 32-bit samples, blocks as large as the protocol allows.
engine::StreamFormat GraphStreamFormat(int channels, uint32_t rate);

}  // namespace audio
