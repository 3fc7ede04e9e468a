#pragma once
#include <cstdint>

namespace platform {

// When the audio thread wakes while sound streams through it. Left to the server's messages it wakes for each
// of them: every piece of captured sound (a block often comes in two), every request for more output, every
// shared-memory block the output hands back, some 400 times a second. Paced, it sleeps through them all and
// wakes once a block, just after the block is due, to read everything that came at once.
//
// The tick follows the blocks. A block that arrives while the thread is awake anyway (no tick is due yet)
// sets the next tick one block later and a little more; every tick that finds a block sets the next one a
// block later and a little less, so the ticks creep toward the blocks' arrival until one comes too early. A
// tick that finds none ends the pacing: the thread wakes for every message again until the next block comes.
// A stream that stops thus leaves the thread to its messages after one tick.
//
// Pure arithmetic on the times given: no clock, no allocation.
class BlockPacer {
 public:
  // After an awake arrival, the first tick comes this much after the block is due again: a block's arrival
  // varies by a few tenths of a millisecond from one to the next, and the loop's timers by up to a millisecond.
  static constexpr double kSlackUs = 1500;
  // Each tick that finds its block moves the next one this much earlier: about ten ticks to cross the slack.
  static constexpr double kCreepUs = 150;

  // A block has been handed on at `nowUs`; blocks last `periodUs`.
  void OnBlock(uint64_t nowUs, double periodUs);
  // The tick due at TickAtUs() has run at `nowUs` (the thread read what had come). False: pacing has ended.
  bool OnTick(uint64_t nowUs);

  bool Pacing() const { return pacing_; }
  uint64_t TickAtUs() const { return tickAtUs_; }

 private:
  bool pacing_ = false;
  bool blockSinceTick_ = false;
  double periodUs_ = 0;
  uint64_t tickAtUs_ = 0;
};

}  // namespace platform
