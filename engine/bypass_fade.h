#pragma once
#include <atomic>
#include <cstdint>

#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"

namespace engine {

// How long the switch between the processed and the untouched sound takes: long enough that the
// difference between the two never becomes a click, short enough to sound immediate.
inline constexpr double kBypassFadeSeconds = 0.02;

// Bypass without a click. The stages run on while bypassed, so both sounds exist at every moment and
// switching is a linear crossfade from one to the other; once it ends, the untouched input is played
// sample for sample. Keeps its copy of the input in buffers sized at construction: nothing is allocated
// per block, and nothing at all is copied while bypass is off and no fade runs.
class CBypassFade {
 public:
  explicit CBypassFade(const std::atomic<uint8_t>& bypass);

  // Before the stages: reads the switch and keeps the channel's input when it will be needed.
  void Keep(const CSignalBuffer& input, int channel);
  // After the stages: the processed block becomes the mix the switch asks for.
  void Mix(CSignalBuffer& processed, int channel, int sampleRate);
  // 0 processed, 1 untouched, between while fading.
  double Untouched(int channel) const { return untouched_[channel]; }

 private:
  const std::atomic<uint8_t>& bypass_;
  CSignalBuffer input_[kChannels];
  double untouched_[kChannels] = {};
  double target_[kChannels] = {};
  bool kept_[kChannels] = {};
};

}  // namespace engine
