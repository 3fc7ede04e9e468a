#include <algorithm>
#include <tuple>

#include "engine/exceptions.h"
#include "tests/engine/engine_fixture.h"

namespace engine_tests {
namespace {

using namespace engine;
// The product's driver is the in-process capture queue, which never answers with a failed read, a format
// that is malformed or not yet readable, data outside a stream or a block above the protocol's largest
// (its own tests show it); these tests keep to the answers it can give.
using CaptureStates = SteppedEngine;

std::vector<uint8_t> Block(uint8_t value, size_t bytes = 400) { return std::vector<uint8_t>(bytes, value); }

// A stalled processing thread (a loaded machine, a debugger) fills the ring. Blocks that arrive meanwhile
// are refused and counted, and the stream goes on by itself as soon as a slot is free: the driver sends no
// new format report for a stream that merely stalled. Blocks refused or dropped count as heard only with sound.
TEST_F(CaptureStates, FullRingRefusesAndCountsBlocksThenRecoversWithoutAFormatReport) {
  StartStereo16();
  for (int i = 0; i < kRingSlots; ++i) driver.PushData(Block(2));
  driver.PushData(Block(0));
  driver.PushData(Block(3));
  Capture();
  EXPECT_EQ(StateAndReady(), std::tuple(kCaptureFault, kRingSlots));

  ASSERT_TRUE(dsp.ProcessPendingBlock());  // one slot free again
  SetSkip(3);                              // the output, flooded after the stall, has the next blocks skipped
  driver.PushData(Block(0));
  driver.PushData(Block(3));
  driver.PushData(std::vector<uint8_t>{0, 0, 0, 0, 0, 1, 0, 0});  // one sample off silence is sound
  driver.PushData(Block(4));
  Capture();
  EXPECT_EQ(StateAndReady(), std::tuple(kCaptureStreaming, kRingSlots));
  const OutputStatistics statistics = output().Statistics();
  EXPECT_EQ(std::tuple(statistics.blocksRefused, statistics.blocksSkipped, statistics.soundBlocksDropped),
            std::tuple(2u, 3u, 3u));
  while (dsp.ProcessPendingBlock()) devices.Play(1);
  devices.Play(kOutputBuffers);
  const auto played = Samples16(devices.Played());
  auto count = [&](int value) {
    return std::count_if(played.begin(), played.end(), [value](int16_t v) { return std::abs(v - value) <= 2; });
  };
  EXPECT_EQ(count(0x0202), kRingSlots * 200) << "every stored block played";
  EXPECT_EQ(count(0x0303), 0) << "the refused and skipped blocks did not";
  EXPECT_EQ(count(0x0404), 200) << "the block after the stall did";
}

TEST_F(CaptureStates, StopReportClosesTheOutputOnce) {
  StartStereo16();
  driver.PushData(Block(1));
  driver.PushStop();
  Capture();
  EXPECT_EQ(link().State(), kCaptureStopped);
  EXPECT_FALSE(output().IsOpen());
  EXPECT_EQ(devices.CloseCount(), 1);
}

// Old blocks must never play in the new format (a burst of noise): the ring is empty before the output
// reopens, so the processing thread cannot take one of them with the new format.
TEST_F(CaptureStates, FormatReportEmptiesTheRingBeforeTheOutputReopens) {
  StartStereo16();
  for (int i = 0; i < 3; ++i) driver.PushData(Block(1));
  Capture();
  ASSERT_EQ(ring().ReadyCount(), 3);
  int readyAtReopen = -1;
  devices.onOpen = [&] { readyAtReopen = ring().ReadyCount(); };
  driver.PushFormat(1, 8, 8000, 80);
  Capture();
  EXPECT_EQ(readyAtReopen, 0);
  const WaveFormat opened = devices.OpenedFormats().back();
  EXPECT_EQ(std::tuple(opened.channels, opened.bitsPerSample, opened.samplesPerSec, opened.blockAlign),
            std::tuple(1, 8, 8000u, 1));
}

// A format the chain cannot play, or an output device that will not open for it, stops the stream
// until the next format report.
TEST_F(CaptureStates, UnplayableFormatsAndAnOutputThatWillNotOpenAreRefusedAndNothingIsPlayed) {
  StartStereo16();
  for (auto [channels, bits] : {std::pair<uint16_t, uint16_t>{6, 16}, {2, 24}, {0, 16}}) {
    driver.PushFormat(channels, bits, 48000, 1920);
    driver.PushData(Block(1, 1920));
    Capture();
    EXPECT_EQ(StateAndReady(), std::tuple(kCaptureFault, 0)) << channels << " channels, " << bits << " bits";
    EXPECT_FALSE(output().IsOpen());
  }
  devices.openResult = kMmAllocated;
  driver.PushFormat(2, 16, 44100, 1764);
  driver.PushData(Block(1, 1764));
  Capture();
  EXPECT_EQ(StateAndReady(), std::tuple(kCaptureFault, 0));
  devices.openResult = kMmNoError;
  StartStereo16();
  EXPECT_TRUE(output().IsOpen());
}

TEST(DriverLinkOpen, AMissingDriverIsShownAndTheProgramRunsOn) {
  EngineParts engine(0, false);
  engine.driver.available = false;
  engine.dsp.Start();
  EXPECT_EQ(engine.reporter.Shown().size(), 1u);
  engine.driver.available = true;
  engine.driver.registerFails = true;
  EXPECT_THROW(engine.dsp.DriverLink().OpenDevice(), Exception);
}

}  // namespace
}  // namespace engine_tests
