#include "engine/capture_ring.h"

#include "engine/sample_conversion.h"

namespace engine {

void CCaptureRing::Reset() {
  platform::Guard guard(lock_);
  EmptyLocked();
  skipCounter_ = 0;
  statistics_ = {};
}

void CCaptureRing::Empty() {
  platform::Guard guard(lock_);
  EmptyLocked();
}

void CCaptureRing::EmptyLocked() {
  for (InputSlot& slot : slots_) slot.ready = 0;
  writeIndex_ = readIndex_ = 0;
}

uint8_t* CCaptureRing::FreeSlot() {
  platform::Guard guard(lock_);
  InputSlot& slot = slots_[writeIndex_];
  return slot.ready != 0 ? nullptr : slot.data;
}

bool CCaptureRing::Store(uint32_t bytes, int bitsPerSample) {
  platform::Guard guard(lock_);
  InputSlot& slot = slots_[writeIndex_];
  slot.length = bytes;
  if (skipCounter_ > 0) {
    // The output queue is too deep: dropping input is how it drains back to its target depth.
    --skipCounter_;
    ++statistics_.blocksSkipped;
    if (pcm::HoldsSound({slot.data, bytes}, bitsPerSample)) ++statistics_.soundBlocksLost;
    return false;
  }
  slot.ready = 1;
  writeIndex_ = (writeIndex_ + 1) % kRingSlots;
  return true;
}

void CCaptureRing::CountRefused(bool holdsSound) {
  platform::Guard guard(lock_);
  ++statistics_.blocksRefused;
  if (holdsSound) ++statistics_.soundBlocksLost;
}

const InputSlot* CCaptureRing::ReadSlot() const {
  const InputSlot& slot = slots_[readIndex_];
  return slot.ready == 1 ? &slot : nullptr;
}

void CCaptureRing::Consume() {
  InputSlot& slot = slots_[readIndex_];
  if (slot.ready == 1) {
    slot.ready = 0;
    readIndex_ = (readIndex_ + 1) % kRingSlots;
  }
}

void CCaptureRing::DropInput(int count) {
  platform::Guard guard(lock_);
  if (count == 0)
    skipCounter_ = 0;
  else if (skipCounter_ == 0)
    skipCounter_ = count;
}

int CCaptureRing::PendingDrops() {
  platform::Guard guard(lock_);
  return skipCounter_;
}

int CCaptureRing::ReadyCount() {
  platform::Guard guard(lock_);
  int count = 0;
  for (const InputSlot& slot : slots_) count += slot.ready;
  return count;
}

}  // namespace engine
