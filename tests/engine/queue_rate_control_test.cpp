#include "engine/queue_rate_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using engine::QueueRateControl;

constexpr double kBlockUs = 10000;
constexpr double kBandUs = QueueRateControl::kDeadBandUs;

// A queue fed one 10 ms block every 10 ms of the capture clock and played by a device whose clock runs `drift`
// faster than the capture's, times the rate the control asks for. The depth is read right after each write, with
// up to ±1.5 ms of reading noise (the server's clock is interpolated), and, with `sawtooth`, each block handed over
// a little later than the one before for 3.3 s, then on time again (the capture side's slow sawtooth).
struct Scenario {
  double drift;
  bool sawtooth;
  double seconds;
  double depthToleranceUs;  // of the last second's mean depth from the target; 0: the queue cannot be held
  double rate;              // where the rate ends
  double rateTolerance;
  double maxOffset;  // how far the rate may ever be from 1
};

// The faults: a queue that creeps away from its target with the clocks' difference (latency growing for good, or
// underruns), a rate that follows the sawtooth (a pitch wobbling every few seconds), a correction that jumps or goes
// beyond what is inaudible.
TEST(QueueRateControl, HoldsTheQueueAtItsTargetWithSmallBoundedRateChanges) {
  const Scenario scenarios[] = {
      {-0.003, false, 300, kBandUs + 1000, 1 / 0.997, 0.0005, 0.01},
      {-0.001, false, 300, kBandUs + 1000, 1 / 0.999, 0.0005, 0.01},
      {0.0, false, 300, kBandUs + 1000, 1.0, 0.0005, 0.01},
      {0.003, false, 300, kBandUs + 1000, 1 / 1.003, 0.0005, 0.01},
      {0.0, true, 120, kBandUs + 5000, 1.0, 0.0008, 0.0008},
      {-0.03, false, 60, 0, 1 + QueueRateControl::kMaxCorrection, 0, 0.01},  // beyond reach: the bound holds
  };
  for (const Scenario& s : scenarios) {
    QueueRateControl control(kBlockUs);
    const double startTargetUs = control.TargetUs();
    double depthUs = startTargetUs, rate = 1, largestStep = 0, maxOffset = 0, lastSecondUs = 0;
    double shallowestUs = depthUs, deepestUs = depthUs;
    uint64_t noise = 1;
    const int blocks = int(s.seconds * 100);
    for (int block = 0; block < blocks; ++block) {
      depthUs += kBlockUs - kBlockUs * (1 + s.drift) * rate;
      noise = (noise * 1103515245 + 12345) % 2147483648u;
      const double latenessUs = s.sawtooth ? 9000.0 * (block % 330) / 330 : 0;
      const double next = control.Update(depthUs - latenessUs + double(noise % 3001) - 1500, kBlockUs);
      largestStep = std::max(largestStep, std::fabs(next - rate));
      maxOffset = std::max(maxOffset, std::fabs(next - 1));
      rate = next;
      shallowestUs = std::min(shallowestUs, depthUs);
      deepestUs = std::max(deepestUs, depthUs);
      if (block >= blocks - 100) lastSecondUs += depthUs / 100;
    }
    if (s.depthToleranceUs > 0) {
      EXPECT_NEAR(lastSecondUs, control.TargetUs(), s.depthToleranceUs) << "drift " << s.drift;
      EXPECT_GT(shallowestUs, 0.0) << "never dry on the way, drift " << s.drift;
      EXPECT_LT(deepestUs, startTargetUs + 3 * kBlockUs) << "nor far too deep, drift " << s.drift;
    }
    EXPECT_NEAR(rate, s.rate, s.rateTolerance + 1e-12) << "drift " << s.drift;
    EXPECT_LE(maxOffset, s.maxOffset + 1e-12) << "drift " << s.drift;
    EXPECT_LE(largestStep, QueueRateControl::kMaxChangePerSecond * kBlockUs / 1e6 + 1e-12) << "drift " << s.drift;
  }
}

// The margin grows by an underrun at once, once per stall, up to its ceiling, unless the writes had stopped for
// longer than the grown margin would have covered (a stopped program, a machine that took the processor). It
// gives latency back only after a clean stretch, and only half the room the queue showed it did not need above
// the low-water mark, a little at a time, never below the floor: no underrun is risked to find out. A new stream
// keeps it and starts at rate 1.
TEST(QueueRateControl, MarginGrowsAtUnderrunsAndShrinksOnlyByRoomShown) {
  const double start = QueueRateControl::kStartMarginUs, growth = QueueRateControl::kMarginGrowthUs;
  const double lowWater = QueueRateControl::kLowWaterUs, stretch = QueueRateControl::kCleanStretchUs;
  const double maxShrink = QueueRateControl::kMaxShrinkUs;
  const struct {
    double lowestUs, shrinkUs;
  } cases[] = {{lowWater - 1000, 0}, {lowWater, 0}, {lowWater + 2000, 1000}, {lowWater + 20000, maxShrink}};
  for (const auto& c : cases) {
    QueueRateControl control(kBlockUs);
    control.Update(20000, 0);
    control.NoteLowest(c.lowestUs + 3000);
    control.NoteLowest(c.lowestUs);
    control.Update(20000, stretch - 1);
    EXPECT_DOUBLE_EQ(control.MarginUs(), start) << "just before the stretch is complete";
    control.Update(20000, 1);
    EXPECT_DOUBLE_EQ(control.MarginUs(), start - c.shrinkUs) << "lowest " << c.lowestUs << " us";
  }

  const double covered = kBlockUs + start + growth;
  for (double gapUs : {covered + 1, 400000.0}) {
    QueueRateControl stalled(kBlockUs);
    stalled.OnUnderrun(gapUs);
    EXPECT_DOUBLE_EQ(stalled.MarginUs(), start) << "writes stopped for " << gapUs << " us";
  }
  QueueRateControl control(kBlockUs);
  control.Update(20000, 0);
  control.NoteLowest(lowWater + 20000);
  control.OnUnderrun(covered);
  EXPECT_DOUBLE_EQ(control.TargetUs(), kBlockUs + start + growth);
  control.Update(20000, QueueRateControl::kUnderrunBurstUs - 1);
  control.OnUnderrun(kBlockUs);
  EXPECT_DOUBLE_EQ(control.MarginUs(), start + growth) << "the same stall; the room seen before it is forgotten";
  for (int i = 0; i < 100; ++i) {
    control.Update(60000, QueueRateControl::kUnderrunBurstUs);
    control.OnUnderrun(kBlockUs);
  }
  EXPECT_DOUBLE_EQ(control.MarginUs(), QueueRateControl::kMaxMarginUs);
  ASSERT_GT(control.Rate(), 1.0);
  control.Restart();
  EXPECT_DOUBLE_EQ(control.Rate(), 1.0);
  EXPECT_DOUBLE_EQ(control.Update(5000, 0), 1.0) << "the first measurement of a stream changes nothing";
  for (int i = 0; i < 200; ++i) {
    control.NoteLowest(lowWater + 20000);
    control.Update(20000, stretch);
  }
  EXPECT_DOUBLE_EQ(control.MarginUs(), QueueRateControl::kMinMarginUs);
}

}  // namespace
