#include "audio/pipewire_wave_out.h"

#include <algorithm>

#include "audio/wave_header_flags.h"
#include "engine/driver_protocol.h"
#include "engine/sample_conversion.h"

namespace audio {

using engine::MmResult;

namespace {
// One stream is open at a time; the spare slots cover a stream opened before the last one is destroyed.
constexpr int kStreamSlots = 4;
alignas(PipeWireWaveOutStream) unsigned char streamSlots[kStreamSlots][sizeof(PipeWireWaveOutStream)];
std::atomic<bool> streamSlotTaken[kStreamSlots];
}  // namespace

void* PipeWireWaveOutStream::operator new(size_t size) {
  for (int i = 0; i < kStreamSlots && size <= sizeof streamSlots[i]; ++i) {
    bool taken = false;
    if (streamSlotTaken[i].compare_exchange_strong(taken, true)) return streamSlots[i];
  }
  return ::operator new(size);
}

void PipeWireWaveOutStream::operator delete(void* stream) {
  for (int i = 0; i < kStreamSlots; ++i)
    if (stream == streamSlots[i]) {
      streamSlotTaken[i].store(false);
      return;
    }
  ::operator delete(stream);
}

MmResult PipeWireWaveOutSystem::Open(unsigned index, const engine::WaveFormat& format,
                                     std::unique_ptr<engine::IWaveOutStream>* stream) {
  std::string description;
  if (const MmResult result = DeviceName(index, &description); result != engine::kMmNoError) return result;
  return OpenNamed(description, format, stream);
}

MmResult PipeWireWaveOutSystem::OpenNamed(const std::string& description, const engine::WaveFormat& format,
                                          std::unique_ptr<engine::IWaveOutStream>* stream) {
  if (description == engine::kVirtualDeviceName) return engine::kMmBadDeviceId;
  // The filter carries 32-bit samples in the graph's channels; anything else is a stream it cannot play.
  if (format.formatTag != engine::kWaveFormatPcm || format.bitsPerSample != 32 || format.channels == 0 ||
      format.channels > kGraphChannels || format.blockAlign != format.channels * 4)
    return engine::kWaveBadFormat;
  path_.SetOutput(description);
  *stream = std::make_unique<PipeWireWaveOutStream>(*this, path_, format);
  return engine::kMmNoError;
}

bool PipeWireWaveOutSystem::SetMixerVolume(unsigned, unsigned percent) {
  mixerGain_.store(float(std::min(percent, 100u)) / 100.0f, std::memory_order_relaxed);
  return true;
}

MmResult PipeWireWaveOutStream::Prepare(engine::WaveHeader& header) { return PrepareHeader(header); }

MmResult PipeWireWaveOutStream::Unprepare(engine::WaveHeader& header) { return UnprepareHeader(header); }

MmResult PipeWireWaveOutStream::SetVolume(uint32_t volume) {
  volume_.store(volume, std::memory_order_relaxed);
  return engine::kMmNoError;
}

uint32_t PipeWireWaveOutStream::PlayInto(GraphCycle& cycle, const uint8_t* data, uint32_t frames, int channels,
                                         const float* gain) {
  frames = std::min(frames, cycle.frames - std::min(cycle.written, cycle.frames));
  const uint32_t frameBytes = uint32_t(channels) * 4;
  for (int c = 0; c < channels && c < kGraphChannels; ++c) {
    float* out = cycle.output[c];
    if (!out) continue;  // not linked: nobody takes it
    out += cycle.written;
    const uint8_t* in = data + 4 * c;
    for (uint32_t i = 0; i < frames; ++i, in += frameBytes) out[i] = float(engine::pcm::Read32(in)) * gain[c];
  }
  cycle.written += frames;
  return frames;
}

MmResult PipeWireWaveOutStream::Write(engine::WaveHeader& header) {
  if (!(header.flags.load() & engine::kHeaderPrepared)) return engine::kWaveUnprepared;
  if (!header.data || header.bufferLength % format_.blockAlign != 0) return engine::kMmInvalidHandle;
  // Only the engine's reader writes, on the data thread, inside the cycle whose sound it has just processed.
  GraphCycle& cycle = path_.Cycle();
  const uint32_t volume = volume_.load(std::memory_order_relaxed);
  const float mixer = system_.MixerGain();
  const float gain[kGraphChannels] = {float(volume & 0xFFFF) / 0xFFFF * mixer, float(volume >> 16) / 0xFFFF * mixer};
  PlayInto(cycle, header.data, header.bufferLength / format_.blockAlign, format_.channels, gain);
  MarkHeaderDone(header);
  return engine::kMmNoError;
}

}  // namespace audio
