#include "platform/block_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using platform::BlockPacer;
constexpr double kPeriodUs = 10000;

TEST(BlockPacer, TicksFollowTheBlocksAndStopWithThem) {
  BlockPacer pacer;
  EXPECT_FALSE(pacer.OnTick(0)) << "no tick before the first block";

  pacer.OnBlock(1'000'000, kPeriodUs);  // arrives while the thread is awake
  ASSERT_TRUE(pacer.Pacing());
  EXPECT_EQ(pacer.TickAtUs(), 1'000'000 + uint64_t(kPeriodUs + BlockPacer::kSlackUs));

  // A tick that found its block sets the next one a block later, less the creep, and holds no matter how late
  // the thread ran it, as long as it is within a block.
  uint64_t tick = pacer.TickAtUs();
  pacer.OnBlock(tick + 300, kPeriodUs);
  EXPECT_TRUE(pacer.OnTick(tick + 800));
  EXPECT_EQ(pacer.TickAtUs(), tick + uint64_t(kPeriodUs - BlockPacer::kCreepUs));

  // A thread held up for seconds starts the grid again from now instead of ticking to catch up.
  pacer.OnBlock(tick + 3'000'000, kPeriodUs);
  EXPECT_TRUE(pacer.OnTick(tick + 3'000'000));
  EXPECT_EQ(pacer.TickAtUs(), tick + 3'000'000 + uint64_t(kPeriodUs - BlockPacer::kCreepUs));

  // A tick with nothing new ends the pacing; the next block starts it again, with the slack.
  EXPECT_FALSE(pacer.OnTick(pacer.TickAtUs()));
  EXPECT_FALSE(pacer.Pacing());
  pacer.OnBlock(9'000'000, kPeriodUs);
  EXPECT_TRUE(pacer.Pacing());
  EXPECT_EQ(pacer.TickAtUs(), 9'000'000 + uint64_t(kPeriodUs + BlockPacer::kSlackUs));
}

// Blocks every 10 ms, some a little late or early, and the clock of the blocks a little slower or faster than the
// thread's: the thread wakes little more than once a block, and never reads a block much after it came.
TEST(BlockPacer, AStreamOfBlocksCostsAboutOneWakeUpEach) {
  for (const double driftUsPerBlock : {-30.0, 0.0, 30.0}) {
    SCOPED_TRACE(driftUsPerBlock);
    BlockPacer pacer;
    const int blocks = 3000;
    std::vector<double> arrivals;
    for (int i = 0; i < blocks; ++i) {
      const double jitter = (i * 7919 % 13 - 6) * 40.0;  // ±240 µs, repeatable
      arrivals.push_back(1e6 + i * (kPeriodUs + driftUsPerBlock) + jitter);
    }
    int wakeUps = 0;
    double worstWaitUs = 0;
    size_t next = 0;
    // Each step is one wake-up: the tick when pacing, or else the next block's own arrival.
    while (next < arrivals.size()) {
      ++wakeUps;
      if (!pacer.Pacing()) {
        pacer.OnBlock(uint64_t(arrivals[next++]), kPeriodUs);
        continue;
      }
      const double now = double(pacer.TickAtUs());
      while (next < arrivals.size() && arrivals[next] <= now) {
        worstWaitUs = std::max(worstWaitUs, now - arrivals[next]);
        pacer.OnBlock(uint64_t(now), kPeriodUs);
        ++next;
      }
      pacer.OnTick(uint64_t(now));
    }
    EXPECT_LT(wakeUps, blocks * 1.25);
    EXPECT_LT(worstWaitUs, BlockPacer::kSlackUs + 600);
  }
}

}  // namespace
