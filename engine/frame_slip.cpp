#include "engine/frame_slip.h"

#include <cmath>
#include <cstring>

namespace engine {
namespace {

double SampleAt(const uint8_t* p, int bits) {
  switch (bits) {
    case 8: return static_cast<int>(p[0]) - 128;
    case 16: return static_cast<int16_t>(p[0] | p[1] << 8);
    case 24: return static_cast<int32_t>(static_cast<uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24)) / 256;
    default: return static_cast<int32_t>(static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24));
  }
}

}  // namespace

int SmoothestFrame(const uint8_t* data, int frames, int channels, int bits) {
  const int sampleBytes = bits / 8;
  const int frameBytes = sampleBytes * channels;
  int best = 0;
  double bestStep = 0;
  for (int i = 1; i < frames; ++i) {
    double step = 0;
    for (int c = 0; c < channels; ++c) {
      const uint8_t* sample = data + i * frameBytes + c * sampleBytes;
      step += std::fabs(SampleAt(sample, bits) - SampleAt(sample - frameBytes, bits));
    }
    if (best == 0 || step < bestStep) {
      best = i;
      bestStep = step;
    }
  }
  return best;
}

int SlipFrame(const uint8_t* source, int frames, int channels, int bits, int slip, uint8_t* destination) {
  const size_t frameBytes = static_cast<size_t>(bits / 8 * channels);
  const int at = slip == 0 ? 0 : SmoothestFrame(source, frames, channels, bits);
  if (at == 0) {
    std::memcpy(destination, source, frames * frameBytes);
    return frames;
  }
  std::memcpy(destination, source, at * frameBytes);
  if (slip > 0) {
    std::memcpy(destination + at * frameBytes, source + (at + 1) * frameBytes, (frames - at - 1) * frameBytes);
    return frames - 1;
  }
  std::memcpy(destination + at * frameBytes, source + at * frameBytes, frameBytes);
  std::memcpy(destination + (at + 1) * frameBytes, source + at * frameBytes, (frames - at) * frameBytes);
  return frames + 1;
}

}  // namespace engine
