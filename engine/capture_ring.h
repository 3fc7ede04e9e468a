#pragma once
#include <array>
#include <cstdint>

#include "engine/driver_protocol.h"
#include "platform/critical_section.h"

namespace engine {

inline constexpr int kRingSlots = 24;

struct InputSlot {
  int32_t ready = 0;  // guarded by the ring's lock
  uint32_t length = 0;
  uint8_t data[kMaxBlockBytes] = {};
};

// Blocks the ring lost since it was last reset.
struct RingStatistics {
  uint64_t blocksSkipped = 0;    // dropped on the output regulation's request
  uint64_t blocksRefused = 0;    // refused because the ring was full
  uint64_t soundBlocksLost = 0;  // of those, the ones that held sound: what a listener can miss
};

// The 24 fixed slots between the capture thread, which fills the slot at the write index, and the
// processing thread, which empties the one at the read index. A slot's bytes are written outside the lock
// while it is not ready (the reader leaves it alone), and read under the lock while it is.
class CCaptureRing {
 public:
  platform::CriticalSection& Lock() RETURN_CAPABILITY(lock_) { return lock_; }

  // Writer side, for the capture thread.
  // Empties every slot, cancels the pending drops and zeroes the statistics.
  void Reset() EXCLUDES(lock_);
  // Empties every slot: nothing stored is read after this.
  void Empty() EXCLUDES(lock_);
  // The slot the next block goes into; nullptr while the ring is full.
  uint8_t* FreeSlot() EXCLUDES(lock_);
  // Stores the block written into FreeSlot, or drops it if the output asked for drops; true when stored.
  bool Store(uint32_t bytes, int bitsPerSample) EXCLUDES(lock_);
  // Counts a block refused for want of a free slot.
  void CountRefused(bool holdsSound) EXCLUDES(lock_);

  // Reader side, for the processing thread.
  // The slot at the read index, or nullptr when no block is ready there.
  const InputSlot* ReadSlot() const REQUIRES(lock_);
  // Frees the slot at the read index if it is still ready.
  void Consume() REQUIRES(lock_);
  // Takes the output regulation's decision about the next input blocks: 0 cancels the drops still pending;
  // a count drops that many, unless earlier drops are still pending (they are left to run out).
  void DropInput(int count) EXCLUDES(lock_);

  // Input blocks still to be dropped.
  int PendingDrops() EXCLUDES(lock_);
  int ReadyCount() EXCLUDES(lock_);  // for diagnostics and tests
  RingStatistics Statistics() const REQUIRES(lock_) { return statistics_; }

 private:
  void EmptyLocked() REQUIRES(lock_);

  platform::CriticalSection lock_;
  std::array<InputSlot, kRingSlots> slots_{};
  int32_t writeIndex_ GUARDED_BY(lock_) = 0;
  int32_t readIndex_ GUARDED_BY(lock_) = 0;
  int32_t skipCounter_ GUARDED_BY(lock_) = 0;
  RingStatistics statistics_ GUARDED_BY(lock_);
};

}  // namespace engine
