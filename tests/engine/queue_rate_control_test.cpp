#include "engine/queue_rate_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using engine::QueueRateControl;

constexpr double kBlockUs = 10000;

// A queue fed one 10 ms block every 10 ms of the capture clock and played by a device whose clock runs
// `drift` faster than the capture's, times the rate the control asks for. The depth is measured right after
// each block is written, with up to ±1.5 ms of reading noise (the server's clock is interpolated).
struct SimulatedQueue {
  explicit SimulatedQueue(double drift) : drift(drift) {}

  // Runs `seconds`; records the extremes of the rate and its largest change between two blocks.
  void Run(double seconds) {
    for (int block = 0; block < static_cast<int>(seconds * 100); ++block) {
      depthUs += kBlockUs - kBlockUs * (1 + drift) * rate;
      noise = (noise * 1103515245 + 12345) % 2147483648u;
      const double readingUs = depthUs - latenessUs(block) + (static_cast<double>(noise % 3001) - 1500);
      const double next = control.Update(readingUs, kBlockUs);
      largestStep = std::max(largestStep, std::fabs(next - rate));
      lowest = std::min(lowest, next);
      highest = std::max(highest, next);
      rate = next;
      lastDepths[block % 100] = depthUs;
      shallowest = std::min(shallowest, depthUs);
      deepest = std::max(deepest, depthUs);
    }
  }
  double MeanDepthOfLastSecond() const {
    double sum = 0;
    for (double depth : lastDepths) sum += depth;
    return sum / 100;
  }

  const double drift;
  // How late the block is handed over; the depth is read when it is written.
  std::function<double(int)> latenessUs = [](int) { return 0.0; };
  QueueRateControl control{kBlockUs};
  double depthUs = kBlockUs + QueueRateControl::kStartMarginUs;  // a stream starts at the target depth
  double rate = 1.0;
  double largestStep = 0, lowest = 1.0, highest = 1.0;
  double shallowest = depthUs, deepest = depthUs;
  uint64_t noise = 1;
  double lastDepths[100] = {};
};

class ClockDrift : public ::testing::TestWithParam<double> {};

// The fault: a queue that creeps away from its target with the clocks' difference (latency growing for good,
// or underruns), or a correction that jumps or goes beyond what is inaudible.
TEST_P(ClockDrift, QueueConvergesToItsTargetWithSmallBoundedRateChanges) {
  SimulatedQueue queue(GetParam());
  const double startTarget = queue.control.TargetUs();
  queue.Run(300);
  const double target = queue.control.TargetUs();
  EXPECT_NEAR(queue.MeanDepthOfLastSecond(), target, QueueRateControl::kDeadBandUs + 1000)
      << "held at the target (its margin shrunk meanwhile) after five minutes";
  // A clock difference this large (real ones are a tenth of it or less) takes the queue some way off at first.
  EXPECT_GT(queue.shallowest, 0.0) << "the queue never ran dry on the way";
  EXPECT_LT(queue.deepest, startTarget + 3 * kBlockUs) << "nor stood far too deep";
  EXPECT_NEAR(queue.rate * (1 + GetParam()), 1.0, 0.0005) << "the correction takes up the clocks' difference";
  EXPECT_GE(queue.lowest, 1 - QueueRateControl::kMaxCorrection);
  EXPECT_LE(queue.highest, 1 + QueueRateControl::kMaxCorrection);
  EXPECT_LE(queue.largestStep, QueueRateControl::kMaxChangePerSecond * kBlockUs / 1e6 + 1e-12);
}

INSTANTIATE_TEST_SUITE_P(PlusMinusThreePerMille, ClockDrift, ::testing::Values(-0.003, -0.001, 0.0, 0.001, 0.003));

// A device far too fast for the capture clock cannot be held; the correction stops at its bound rather than
// bending the pitch further, and the engine's outer band catches what is left.
TEST(QueueRateControl, CorrectionStopsAtOnePercent) {
  SimulatedQueue queue(-0.03);
  queue.Run(60);
  EXPECT_DOUBLE_EQ(queue.highest, 1 + QueueRateControl::kMaxCorrection);
  EXPECT_DOUBLE_EQ(queue.rate, 1 + QueueRateControl::kMaxCorrection);
}

// The change per measurement is what the error asks for below the step limit, and exactly the limit above it.
TEST(QueueRateControl, ChangePerMeasurementIsLimitedToTwoPerMilleASecond) {
  const double limit = QueueRateControl::kMaxChangePerSecond * kBlockUs / 1e6;
  const double errorAtLimitUs =
      limit / (QueueRateControl::kProportionalPerUs + QueueRateControl::kIntegralPerUs2 * kBlockUs);
  struct Case {
    double errorUs;
    double expected;
  } cases[] = {{errorAtLimitUs * 0.5, limit * 0.5},
               {errorAtLimitUs, limit},
               {errorAtLimitUs * 10, limit},
               {-errorAtLimitUs * 10, -limit}};
  const double band = QueueRateControl::kDeadBandUs;
  for (const Case& c : cases) {
    QueueRateControl control(kBlockUs);
    const double depth = control.TargetUs() + c.errorUs + (c.errorUs > 0 ? band : -band);
    control.Update(depth, 0);  // the first measurement sets the smoothing's start
    // The reading equals the smoothed depth, so the error is exactly the one given.
    const double rate = control.Update(depth, kBlockUs);
    EXPECT_NEAR(rate - 1, c.expected, 1e-9) << "error " << c.errorUs << " us";
  }
}

// The margin grows by an underrun at once, up to its ceiling, but the underruns of one stall add only once.
TEST(QueueRateControl, MarginGrowsOncePerStallUpToItsCeiling) {
  const double start = QueueRateControl::kStartMarginUs;
  const double growth = QueueRateControl::kMarginGrowthUs;
  const double burst = QueueRateControl::kUnderrunBurstUs;
  QueueRateControl control(kBlockUs);
  control.Update(20000, 0);
  control.OnUnderrun();
  EXPECT_DOUBLE_EQ(control.MarginUs(), start + growth);
  EXPECT_DOUBLE_EQ(control.TargetUs(), kBlockUs + start + growth);
  control.Update(20000, burst - 1);
  control.OnUnderrun();
  EXPECT_DOUBLE_EQ(control.MarginUs(), start + growth) << "just within the same stall";
  control.Update(20000, 1);
  control.OnUnderrun();
  EXPECT_DOUBLE_EQ(control.MarginUs(), start + 2 * growth) << "a stall's length after the last growth";
  for (int i = 0; i < 100; ++i) {
    control.Update(20000, burst);
    control.OnUnderrun();
  }
  EXPECT_DOUBLE_EQ(control.MarginUs(), QueueRateControl::kMaxMarginUs);
}

// The margin gives latency back only after a clean stretch, and only as much as the queue showed it did not
// need: one that came within the low-water mark of running dry keeps it all; one with room to spare gives
// half of that room back, a little at a time, never below the floor. No underrun is risked to find out.
TEST(QueueRateControl, MarginShrinksOnlyByRoomTheQueueShowedItHad) {
  const double start = QueueRateControl::kStartMarginUs;
  const double lowWater = QueueRateControl::kLowWaterUs;
  const double stretch = QueueRateControl::kCleanStretchUs;
  struct Case {
    double lowestUs;  // the lowest depth before a write during the stretch
    double shrinkUs;
  } cases[] = {{lowWater - 1000, 0},
               {lowWater, 0},
               {lowWater + 2000, 1000},
               {lowWater + 2 * QueueRateControl::kMaxShrinkUs, QueueRateControl::kMaxShrinkUs},
               {lowWater + 20000, QueueRateControl::kMaxShrinkUs}};
  for (const Case& c : cases) {
    QueueRateControl control(kBlockUs);
    control.Update(20000, 0);
    control.NoteLowest(c.lowestUs + 3000);
    control.NoteLowest(c.lowestUs);
    control.Update(20000, stretch - 1);
    EXPECT_DOUBLE_EQ(control.MarginUs(), start) << "just before the stretch is complete";
    control.Update(20000, 1);
    EXPECT_DOUBLE_EQ(control.MarginUs(), start - c.shrinkUs) << "lowest " << c.lowestUs << " us";
  }

  QueueRateControl control(kBlockUs);
  control.Update(20000, 0);
  control.Update(20000, stretch);
  EXPECT_DOUBLE_EQ(control.MarginUs(), start) << "a stretch with nothing measured shows no room";
  control.NoteLowest(lowWater + 20000);
  control.OnUnderrun();
  control.Update(20000, stretch - 1);
  EXPECT_DOUBLE_EQ(control.MarginUs(), start + QueueRateControl::kMarginGrowthUs)
      << "an underrun starts the stretch again and forgets the room seen before it";
  for (int i = 0; i < 200; ++i) {
    control.NoteLowest(lowWater + 20000);
    control.Update(20000, stretch);
  }
  EXPECT_DOUBLE_EQ(control.MarginUs(), QueueRateControl::kMinMarginUs);
}

// The capture side hands blocks over up to a block late in a slow sawtooth (late by a little more each block
// for three seconds, then on time again). The queue must ride it out: a rate that followed it would wobble the
// pitch and move the latency with it, every few seconds.
TEST(QueueRateControl, ASawtoothInTheBlocksArrivalLeavesTheRateAlone) {
  SimulatedQueue queue(0.0);
  queue.latenessUs = [](int block) { return 9000.0 * (block % 330) / 330; };
  queue.Run(120);
  EXPECT_LT(queue.highest - 1, 0.0008) << "under a tenth of a percent: no pitch anyone hears";
  EXPECT_GT(queue.lowest - 1, -0.0008);
  EXPECT_NEAR(queue.MeanDepthOfLastSecond(), queue.control.TargetUs(), QueueRateControl::kDeadBandUs + 5000);
}

// A new stream starts at the nominal rate, with the margin the machine has shown it needs.
TEST(QueueRateControl, RestartKeepsTheMarginAndDropsTheCorrection) {
  QueueRateControl control(kBlockUs);
  control.OnUnderrun();
  control.Update(60000, 0);
  for (int i = 0; i < 300; ++i) control.Update(60000, kBlockUs);
  ASSERT_GT(control.Rate(), 1.0);
  control.Restart();
  EXPECT_DOUBLE_EQ(control.Rate(), 1.0);
  EXPECT_DOUBLE_EQ(control.MarginUs(), QueueRateControl::kStartMarginUs + QueueRateControl::kMarginGrowthUs);
  EXPECT_DOUBLE_EQ(control.Update(5000, 0), 1.0) << "the first measurement of a stream changes nothing";
}

}  // namespace
