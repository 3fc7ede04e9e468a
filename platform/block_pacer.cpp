#include "platform/block_pacer.h"

namespace platform {

void BlockPacer::OnBlock(uint64_t nowUs, double periodUs) {
  periodUs_ = periodUs;
  blockSinceTick_ = true;
  if (pacing_) return;  // the tick already due follows from the last one
  pacing_ = true;
  tickAtUs_ = nowUs + uint64_t(periodUs + kSlackUs);
}

bool BlockPacer::OnTick(uint64_t nowUs) {
  if (!pacing_) return false;
  if (!blockSinceTick_) {
    pacing_ = false;
    return false;
  }
  blockSinceTick_ = false;
  tickAtUs_ += uint64_t(periodUs_ - kCreepUs);
  // A thread held up for longer than a block starts the grid again from now rather than ticking to catch up.
  if (tickAtUs_ < nowUs) tickAtUs_ = nowUs + uint64_t(periodUs_ - kCreepUs);
  return true;
}

}  // namespace platform
