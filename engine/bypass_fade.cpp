#include "engine/bypass_fade.h"

#include <algorithm>

namespace engine {

namespace {
constexpr int kFallbackRate = 48000;  // before a stream has reported its rate
}

CBypassFade::CBypassFade(const std::atomic<uint8_t>& bypass)
    : bypass_(bypass), input_{CSignalBuffer(kChannelBufferFrames), CSignalBuffer(kChannelBufferFrames)} {}

void CBypassFade::Keep(const CSignalBuffer& input, int channel) {
  target_[channel] = bypass_.load(std::memory_order_relaxed) ? 1.0 : 0.0;
  kept_[channel] = target_[channel] != 0.0 || untouched_[channel] != 0.0;
  if (!kept_[channel]) return;
  CSignalBuffer& copy = input_[channel];
  copy.Resize(input.Count());  // within the capacity for every block a driver delivers
  std::copy(input.Data(), input.Data() + input.Count(), copy.Data());
}

void CBypassFade::Mix(CSignalBuffer& processed, int channel, int sampleRate) {
  if (!kept_[channel]) return;
  const double* input = input_[channel].Data();
  double* out = processed.Data();
  const int count = std::min(processed.Count(), input_[channel].Count());
  const double step = 1.0 / (kBypassFadeSeconds * (sampleRate > 0 ? sampleRate : kFallbackRate));
  double& mix = untouched_[channel];
  const double target = target_[channel];
  int i = 0;
  for (; i < count && mix != target; ++i) {
    mix = target > mix ? std::min(target, mix + step) : std::max(target, mix - step);
    out[i] += mix * (input[i] - out[i]);
  }
  if (mix == 1.0) std::copy(input + i, input + count, out + i);
}

}  // namespace engine
