#include <chrono>
#include <cmath>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <thread>

#include "engine/exceptions.h"
#include "engine/sample_conversion.h"
#include "tests/engine/engine_fixture.h"

namespace engine_tests {
namespace {

using namespace engine;
using WaveOutputQueue = SteppedEngine;

TEST_F(WaveOutputQueue, MuteAndRestoreActOnTheSelectedDevicesOwnOutput) {
  EXPECT_THROW(output().GetDeviceName(7), ParamException);
  output().SelectDevice(1);
  output().MuteDevice();
  EXPECT_EQ(devices.WaveVolumes(), (std::map<unsigned, uint32_t>{{1, 0}}));
  EXPECT_EQ(devices.MixerVolumes(), (std::map<unsigned, unsigned>{{1, 0}}));
  output().RestoreDeviceVolume();
  EXPECT_EQ(devices.WaveVolumes()[1], 0x10001000u);
  EXPECT_EQ(devices.MixerVolumes()[1], 50u);
}

TEST(SampleConversion, ClampsAndSaturatesAtEveryWidth) {
  const std::vector<double> in = {1.5, -1.5, 1.0, -1.0, 0.5, -0.25, std::nan("")};
  uint8_t bytes[8 * 8];
  pcm::WriteChannel(bytes, 2, 16, in);
  EXPECT_EQ(Samples16(std::vector<uint8_t>(bytes, bytes + 14)),
            (std::vector<int16_t>{32767, -32767, 32767, -32767, 16383, -8191, 0}));
  pcm::WriteChannel(bytes, 1, 8, in);
  EXPECT_EQ(std::vector<int>(bytes, bytes + 7), (std::vector<int>{255, 1, 255, 1, 191, 97, 128}));

  // Reading then writing 16-bit PCM at unity returns the same integers.
  const std::vector<int16_t> original = {-32767, -12345, -1, 0, 1, 12345, 32767};
  auto pcm16 = Pcm16(original);
  double x[7];
  pcm::ReadChannel(pcm16.data(), 2, 16, x);
  pcm::WriteChannel(bytes, 2, 16, x);
  EXPECT_EQ(Samples16(std::vector<uint8_t>(bytes, bytes + 14)), original);
}

class Regulation : public SteppedEngine {
 protected:
  // Queues `count` blocks through the normal write path.
  void QueueBlocks(int count) {
    std::vector<double> block(441, 0.5);
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(output().WriteChannel(block, 0), 441);
      ASSERT_EQ(output().WriteChannel(block, 1), 441);
      output().Submit(441);
    }
  }
  // A device that keeps `depth` buffers queued while one block a step arrives; returns how many steps asked
  // the driver link to drop a block (each one is taken by the link, as the next block would be).
  int PayBacksWhileQueued(int depth, int steps) {
    int payBacks = 0;
    for (int i = 0; i < steps; ++i) {
      devices.Play(devices.Queued() - depth + 1);
      Regulate();
      if (Skip() == 1) {
        ++payBacks;
        SetSkip(0);
        continue;  // the block is dropped
      }
      QueueBlocks(1);
    }
    return payBacks;
  }
};

TEST_F(Regulation, StreamStartsBehindACushionAndADryQueueGetsSilenceUpToThreeBuffers) {
  StartStereo16();
  Regulate();
  Regulate();
  EXPECT_EQ(devices.Queued(), kStartCushionBuffers) << "the first block goes behind a silent cushion, only once";
  QueueBlocks(3);
  devices.Play(kStartCushionBuffers + 2);  // one left
  Regulate();                              // two silent buffers
  devices.Play(3);
  Regulate();  // three
  EXPECT_EQ(output().Statistics().silentBuffersInserted, 5u) << "the cushion is no glitch and is not counted";
  devices.Play(3);
  const auto played = PastStartCushion(devices.Played(), 1764);
  ASSERT_EQ(played.size(), 8u * 1764);
  for (size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i] == 0, i >= 3 * 1764) << "byte " << i;
}

// The band's edges, as a listener meets them. A queue down to one buffer (or none) is about to leave a gap:
// the whole-buffer regulation fills it with silence up to three buffers, while a device that holds its queue
// in time starts itself again at its target and gets nothing inserted. Two to seven buffers are sound that plays
// on untouched. Beyond seven, sound is backing up (a stall's backlog): both have the input dropped down to six,
// though a count already pending is left to run out. A dry device drops no input.
class BandEdges : public Regulation, public ::testing::WithParamInterface<bool> {};

TEST_P(BandEdges, TopUpOnlyADryingQueueAndDropOnlyABackedUpOne) {
  const bool holds = GetParam();
  devices.holdsItsQueue = holds;
  StartStereo16();
  Regulate();
  EXPECT_EQ(devices.Queued(), holds ? 0 : kStartCushionBuffers) << "a device that holds its queue starts itself";
  struct Case {
    int queued;
    int pending;  // input blocks the capture side was still to drop before
    int silence;  // silent buffers queued for a device regulated in whole buffers
    int drop;     // input blocks the capture side is to drop (either device)
  } cases[] = {{0, 0, 3, 0}, {1, 5, 2, 0}, {2, 0, 0, 0}, {6, 0, 0, 0},
               {7, 0, 0, 0}, {8, 0, 0, 2}, {9, 0, 0, 3}, {9, 1, 0, 1}};
  for (const Case& c : cases) {
    devices.Play(kOutputBuffers);
    if (holds)
      for (int i = 0; i < 100; ++i) Regulate();  // past the hold of an earlier drop, with nothing queued
    QueueBlocks(c.queued);
    SetSkip(c.pending);
    Regulate();
    EXPECT_EQ(devices.Queued(), c.queued + (holds ? 0 : c.silence)) << c.queued << " queued";
    EXPECT_EQ(Skip(), c.drop) << c.queued << " queued";
  }
}

INSTANTIATE_TEST_SUITE_P(WholeBuffersOrHeldInTime, BandEdges, ::testing::Bool());

// After the outer band has dropped input, the queue still reads deep until the device has played what was
// written before; judging it again at once would drop sound a second time for the same backlog.
TEST_F(Regulation, ADeviceThatHoldsItsQueueLosesABacklogOnceNotAgainWhileItDrains) {
  devices.holdsItsQueue = true;
  StartStereo16();
  Regulate();
  QueueBlocks(10);
  Regulate();
  ASSERT_EQ(Skip(), 4);
  SetSkip(0);  // the capture side has dropped them
  int dropsWithinASecond = 0;
  for (int block = 0; block < 100; ++block) {
    Regulate();
    dropsWithinASecond += Skip();
  }
  EXPECT_EQ(dropsWithinASecond, 0) << "the same backlog, still being played";
  Regulate();
  EXPECT_EQ(Skip(), 4) << "a second on, a queue still backed up is drained again";
  EXPECT_EQ(PayBacksWhileQueued(5, 400), 0) << "inside the band its rate correction pays silence back";
}

// The backlog goes at once down to about the depth the device keeps by itself (the buffers its target spans and
// one more, never into the dry edge nor above the band's own six), not to six buffers that its rate correction
// would take seconds to play away at a shifted pitch.
TEST_F(Regulation, ADeviceThatHoldsItsQueueIsDrainedDownToItsTarget) {
  devices.holdsItsQueue = true;
  StartStereo16();  // 10 ms blocks
  Regulate();
  struct Case {
    double targetMs;
    int drop;
  } cases[] = {{24, 6}, {34, 5}, {0.5, 8}, {5, 8}, {15, 7}, {200, 4}, {0, 4}};
  for (const Case& c : cases) {
    devices.Play(kOutputBuffers);
    for (int i = 0; i < 100; ++i) Regulate();  // past the hold of the drop before
    devices.targetMs = c.targetMs;
    QueueBlocks(10);
    SetSkip(0);
    Regulate();
    EXPECT_EQ(Skip(), c.drop) << "target " << c.targetMs << " ms";
  }
}

// What a listener notices, a gap next to sound, is counted apart from silence inserted while nothing plays. A
// device that holds its queue fills its own gaps: each is still counted, and the engine writes no silence for it.
class Gaps : public Regulation, public ::testing::WithParamInterface<bool> {};

TEST_P(Gaps, OnlyGapsNextToSoundAreCountedAsHeard) {
  const bool holds = GetParam();
  devices.holdsItsQueue = holds;
  StartStereo16();
  Regulate(false);  // the start cushion, if any
  QueueBlocks(1);
  struct Step {
    int gap;  // buffers the device ran dry for since the last block
    bool blockHoldsSound;
    uint64_t inserted, heard;  // silent buffers in all, and of them next to sound
  } steps[] = {{3, false, 3, 0}, {0, true, 3, 0}, {2, true, 5, 2}, {3, false, 8, 5}, {2, false, 10, 5}};
  for (const Step& step : steps) {
    if (holds)
      devices.underruns += step.gap;
    else if (step.gap > 0)
      devices.Play(devices.Queued() + step.gap - 3);  // what is left is topped up to three
    Regulate(step.blockHoldsSound);
    const OutputStatistics statistics = output().Statistics();
    EXPECT_EQ(statistics.silentBuffersInserted, step.inserted) << "gap " << step.gap;
    EXPECT_EQ(statistics.silenceInsertedInSound, step.heard) << "gap " << step.gap;
  }
  EXPECT_EQ(devices.BuffersWritten(), holds ? 1u : kStartCushionBuffers + 11u) << "none for a device's own gaps";
}

INSTANTIATE_TEST_SUITE_P(WholeBuffersOrHeldInTime, Gaps, ::testing::Bool());

// The processing thread may still hold blocks of a stream that ends while the output closes: they are not
// written, and the queue that the reset has emptied is not taken for a dry one.
TEST_F(Regulation, BlocksProcessedWhileTheOutputClosesAreNeitherPlayedNorToppedUp) {
  StartStereo16();
  QueueBlocks(3);
  uint64_t writtenAtReset = 0;
  devices.onReset = [&] {
    writtenAtReset = devices.BuffersWritten();
    Regulate();
    QueueBlocks(1);
  };
  output().Close();
  EXPECT_EQ(devices.BuffersWritten(), writtenAtReset);
  EXPECT_EQ(output().Statistics().silentBuffersInserted, 0u);
  EXPECT_EQ(devices.CloseCount(), 1);
}

// A device may play blocks through the engine on a thread of its own while it holds a lock that its Close
// takes too: the close must not hold the output's lock meanwhile, or the two wait for each other.
TEST_F(Regulation, TheDeviceClosesOutsideTheOutputsLock) {
  StartStereo16();
  QueueBlocks(2);
  bool lockFree = false;
  devices.onClose = [&] {
    auto taken = std::make_shared<std::promise<void>>();
    std::thread([this, taken] {
      output().Statistics();
      taken->set_value();
    }).detach();
    lockFree = taken->get_future().wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  };
  output().Close();
  EXPECT_TRUE(lockFree);
  EXPECT_EQ(devices.CloseCount(), 1);
}

TEST_F(Regulation, SilenceForALateBlockIsPaidBackOnlyOnceTheQueueHasCaughtUp) {
  StartStereo16();
  QueueBlocks(3);
  devices.Play(3);
  Regulate();      // dry: three silent buffers
  QueueBlocks(2);  // the late blocks arrive together: five queued, 30 ms more than before the gap
  EXPECT_EQ(PayBacksWhileQueued(4, 100), 0) << "a queue standing at the top-up level owes nothing back";
  EXPECT_EQ(PayBacksWhileQueued(5, 49), 0) << "not before the queue has stood deep for half a second";
  EXPECT_EQ(PayBacksWhileQueued(5, 1), 1);
  EXPECT_EQ(PayBacksWhileQueued(5, 400), 2) << "never more blocks than silent buffers were inserted";

  // Run dry soon after a pay-back: the device needs the deeper queue, which is then kept.
  QueueBlocks(3);
  devices.Play(devices.Queued());
  Regulate();
  QueueBlocks(2);
  EXPECT_EQ(PayBacksWhileQueued(5, 50), 1);
  devices.Play(devices.Queued());
  Regulate();
  QueueBlocks(2);
  EXPECT_EQ(PayBacksWhileQueued(5, 400), 0);
  EXPECT_EQ(output().Statistics().queued, 4);
}

// A buffer the device refuses is used again; while the device holds every buffer, a block is dropped.
TEST_F(Regulation, RefusedBuffersAreRecycledAndABusyDeviceDropsTheBlock) {
  StartStereo16();
  devices.Current()->failWrite = true;
  QueueBlocks(1);
  EXPECT_EQ(devices.Queued(), 0);
  devices.Current()->failWrite = false;
  QueueBlocks(kOutputBuffers);  // every buffer is with the device now
  std::vector<double> block(441, 0.5);
  EXPECT_EQ(output().WriteChannel(block, 0), 0);
  EXPECT_EQ(output().Statistics().blocksDroppedBusy, 1u);
  devices.Play(1);
  EXPECT_EQ(output().WriteChannel(block, 0), 441);
}

TEST(NoDeviceSelected, OpensWritesAndRegulatesNothing) {
  EngineParts engine(-1);
  ASSERT_EQ(engine.dsp.Output().SelectedDevice(), -2);
  engine.driver.PushFormat(2, 16, 44100, 1764);
  for (int i = 0; i < 4; ++i) engine.driver.PushData(std::vector<uint8_t>(1764, 9));
  engine.Capture();
  EXPECT_EQ(engine.dsp.DriverLink().State(), kCaptureStreaming);
  engine.ProcessAll();
  EXPECT_EQ(engine.devices.OpenCount(), 0);
  EXPECT_TRUE(engine.devices.Played().empty());
  EXPECT_EQ(engine.dsp.Output().Statistics().silentBuffersInserted, 0u);
  EXPECT_TRUE(engine.reporter.Shown().empty());
}

}  // namespace
}  // namespace engine_tests
