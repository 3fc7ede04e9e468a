#include "audio/pipewire_driver.h"

#include <algorithm>
#include <cstring>

#include "engine/sample_conversion.h"

namespace audio {

engine::StreamFormat GraphStreamFormat(int channels, uint32_t rate) {
  engine::StreamFormat format;
  format.channels = uint16_t(channels);
  format.bitsPerSample = 32;
  format.samplesPerSec = rate;
  const uint32_t frameBytes = uint32_t(channels) * 4;
  format.blockBytes = engine::kMaxBlockBytes / frameBytes * frameBytes;
  return format;
}

PipeWireDriverDevice::~PipeWireDriverDevice() { path_.SetCycleReader(nullptr); }

bool PipeWireDriverDevice::ReadOnDeviceThread(std::function<void()> reader) {
  if (!reader) {
    path_.SetCycleReader(nullptr);
    return true;
  }
  path_.SetCycleReader([this, reader = std::move(reader)] {
    inCycle_ = true;
    reader();
    inCycle_ = false;
  });
  return true;
}

bool PipeWireDriverDevice::Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned,
                                   uint32_t* error) {
  *bytesReturned = 0;
  *error = 0;
  switch (code) {
    case engine::kRequestRegisterEvent: return true;
    case engine::kRequestReadBlock:
      if (!output) return false;
      *bytesReturned = inCycle_ ? ReadBlock(path_.Cycle(), {static_cast<uint8_t*>(output), outputBytes})
                                : engine::kReadNothingWaiting;
      return true;
    case engine::kRequestReadFormat:
      if (!output || outputBytes < sizeof reported_ || !streaming_) {
        *error = engine::kErrorNoAccess;
        return false;
      }
      std::memcpy(output, &reported_, sizeof reported_);
      *bytesReturned = sizeof reported_;
      return true;
    default:
      *error = 1;  // an unknown request
      return false;
  }
}

uint32_t PipeWireDriverDevice::ReadBlock(GraphCycle& cycle, std::span<uint8_t> output) {
  if (cycle.restarted && streaming_) {
    streaming_ = false;
    return engine::kReadStopped;
  }
  const engine::StreamFormat format = GraphStreamFormat(path_.Channels(), cycle.rate);
  if (!streaming_ || format.samplesPerSec != reported_.samplesPerSec || format.channels != reported_.channels) {
    cycle.restarted = false;
    streaming_ = true;
    reported_ = format;
    return engine::kReadFormatChanged;
  }
  const uint32_t frameBytes = uint32_t(format.channels) * 4;
  const uint32_t frames =
      std::min({cycle.frames - cycle.read, uint32_t(output.size()) / frameBytes, format.blockBytes / frameBytes});
  if (frames == 0) return engine::kReadNothingWaiting;
  for (int c = 0; c < format.channels; ++c) {
    const float* in = cycle.input[c] + cycle.read;
    uint8_t* out = output.data() + 4 * c;
    for (uint32_t i = 0; i < frames; ++i, out += frameBytes) engine::pcm::Write32(out, double(in[i]));
  }
  cycle.read += frames;
  return frames * frameBytes;  // at least one frame of four bytes: never mistaken for a report
}

std::unique_ptr<engine::IDriverDevice> PipeWireDriverOpener::Open(const std::string& deviceName) {
  if (deviceName != engine::kDriverDeviceName) return nullptr;
  if (!path_.Start(format_, timeoutMs_)) {
    path_.Stop();  // as with no driver: nothing of it is left behind
    return nullptr;
  }
  return std::make_unique<PipeWireDriverDevice>(path_);
}

}  // namespace audio
