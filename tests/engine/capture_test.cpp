#include "engine/exceptions.h"
#include "tests/engine/engine_fixture.h"

namespace engine_tests {
namespace {

using namespace engine;
using CaptureStates = SteppedEngine;

TEST_F(CaptureStates, DataBeforeAnyFormatIsRefusedUntilAFormatReport) {
  driver.PushData(std::vector<uint8_t>(400, 1));
  Capture();
  EXPECT_EQ(link().State(), kCaptureFault);
  EXPECT_EQ(link().ReadyCount(), 0);

  StartStereo16();
  EXPECT_EQ(devices.OpenCount(), 1);
  driver.PushData(std::vector<uint8_t>(400, 1));
  Capture();
  EXPECT_EQ(link().State(), kCaptureStreaming);
  EXPECT_EQ(link().ReadyCount(), 1);
}

TEST_F(CaptureStates, NothingWaitingChangesNothing) {
  StartStereo16();
  const uint64_t reads = driver.ReadRequests();
  link().CapturePass();
  EXPECT_EQ(driver.ReadRequests(), reads + 1);
  EXPECT_EQ(link().State(), kCaptureFormatted);
  EXPECT_EQ(link().ReadyCount(), 0);
}

TEST_F(CaptureStates, BlockSizeLimit) {
  StartStereo16();
  driver.PushData(std::vector<uint8_t>(16384, 7));
  Capture();
  EXPECT_EQ(link().State(), kCaptureStreaming);
  EXPECT_EQ(link().ReadyCount(), 1);

  driver.PushOversizedData(16385);
  Capture();
  EXPECT_EQ(link().State(), kCaptureFault);
  EXPECT_EQ(link().ReadyCount(), 1);
}

TEST_F(CaptureStates, FullRingIsNotReadAndRefusesDataUntilTheNextFormat) {
  StartStereo16();
  for (int i = 0; i < kRingSlots; ++i) driver.PushData(std::vector<uint8_t>(400, 2));
  Capture();
  ASSERT_EQ(link().ReadyCount(), kRingSlots);

  driver.PushData(std::vector<uint8_t>(400, 3));
  const uint64_t reads = driver.ReadRequests();
  link().CapturePass();
  EXPECT_EQ(driver.ReadRequests(), reads) << "a full ring must not read the driver";
  EXPECT_EQ(link().State(), kCaptureFault);

  // Room again, but the stream stays refused until the driver restarts it with a format report.
  while (dsp->ProcessPendingBlock()) devices.Play(1);  // a playing device: nothing is asked to be skipped
  Capture();
  EXPECT_EQ(link().State(), kCaptureFault);
  EXPECT_EQ(link().ReadyCount(), 0);
  driver.PushFormat(2, 16, 44100, 1764);
  driver.PushData(std::vector<uint8_t>(400, 4));
  Capture();
  EXPECT_EQ(link().State(), kCaptureStreaming);
  EXPECT_EQ(link().ReadyCount(), 1);
}

TEST_F(CaptureStates, SkipCounterDropsThatManyBlocks) {
  StartStereo16();
  {
    platform::Guard guard(link().RingLock());
    link().SkipCounter() = 3;
  }
  for (int i = 0; i < 5; ++i) driver.PushData(std::vector<uint8_t>(400, static_cast<uint8_t>(i)));
  Capture();
  EXPECT_EQ(driver.DataBlocksDelivered(), 5u);
  EXPECT_EQ(link().ReadyCount(), 2);
  platform::Guard guard(link().RingLock());
  EXPECT_EQ(link().SkipCounter(), 0);
  EXPECT_EQ(link().BlocksSkipped(), 3u);
  EXPECT_EQ(link().ReadSlot().data[0], 3) << "the first blocks are the dropped ones";
}

TEST_F(CaptureStates, FormatRequestErrorsAndBadAnswers) {
  StartStereo16();
  driver.PushData(std::vector<uint8_t>(400, 1));
  Capture();
  ASSERT_EQ(link().State(), kCaptureStreaming);

  // 998 means "not yet": the state is untouched and the driver's repeated report is followed next pass.
  driver.PushFormatError(2, 16, 48000, 1920, kErrorNoAccess);
  driver.PushFormat(2, 16, 48000, 1920);
  link().CapturePass();
  EXPECT_EQ(link().State(), kCaptureStreaming);
  EXPECT_EQ(devices.OpenCount(), 1);
  link().CapturePass();
  EXPECT_EQ(link().State(), kCaptureFormatted);
  EXPECT_EQ(output().Format().samplesPerSec, 48000u);

  driver.PushFormatError(2, 16, 44100, 1764, 31);
  Capture();
  EXPECT_EQ(link().State(), kCaptureFault);

  driver.PushFormat(2, 16, 44100, 1764);
  driver.PushBadFormatSize();
  Capture();
  EXPECT_EQ(link().State(), kCaptureFault);
}

TEST_F(CaptureStates, FailedReadIsAFault) {
  StartStereo16();
  driver.PushFailedRead();
  Capture();
  EXPECT_EQ(link().State(), kCaptureFault);
}

TEST_F(CaptureStates, StopReportClosesTheOutputOnce) {
  StartStereo16();
  driver.PushData(std::vector<uint8_t>(400, 1));
  Capture();
  ASSERT_TRUE(output().IsOpen());
  driver.PushStop();
  Capture();
  EXPECT_EQ(link().State(), kCaptureStopped);
  EXPECT_FALSE(output().IsOpen());
  EXPECT_EQ(devices.CloseCount(), 1);

  driver.PushStop();
  Capture();
  EXPECT_EQ(devices.CloseCount(), 1);
  driver.PushData(std::vector<uint8_t>(400, 1));
  Capture();
  EXPECT_EQ(link().State(), kCaptureFault) << "data after a stop needs a new format report";
}

TEST_F(CaptureStates, FormatReportReopensOutputAndEmptiesTheRing) {
  StartStereo16();
  for (int i = 0; i < 3; ++i) driver.PushData(std::vector<uint8_t>(400, 1));
  Capture();
  ASSERT_EQ(link().ReadyCount(), 3);
  driver.PushFormat(1, 8, 8000, 80);
  Capture();
  EXPECT_EQ(link().ReadyCount(), 0);
  ASSERT_EQ(devices.OpenCount(), 2);
  const WaveFormat opened = devices.OpenedFormats().back();
  EXPECT_EQ(opened.channels, 1);
  EXPECT_EQ(opened.bitsPerSample, 8);
  EXPECT_EQ(opened.samplesPerSec, 8000u);
  EXPECT_EQ(opened.blockAlign, 1);
  EXPECT_EQ(opened.avgBytesPerSec, 8000u);
}

TEST_F(CaptureStates, UnplayableFormatsAreRefusedAndNothingIsPlayed) {
  StartStereo16();
  for (auto [channels, bits] : {std::pair<uint16_t, uint16_t>{6, 16}, {2, 24}, {0, 16}}) {
    driver.PushFormat(channels, bits, 48000, 1920);
    driver.PushData(std::vector<uint8_t>(1920, 1));
    Capture();
    EXPECT_EQ(link().State(), kCaptureFault) << channels << " channels, " << bits << " bits";
    EXPECT_EQ(link().ReadyCount(), 0);
    EXPECT_FALSE(output().IsOpen());
  }
  StartStereo16();
  EXPECT_TRUE(output().IsOpen());
}

TEST_F(CaptureStates, OutputThatCannotOpenIsAFault) {
  devices.openResult = kMmAllocated;
  driver.PushFormat(2, 16, 44100, 1764);
  Capture();
  EXPECT_EQ(link().State(), kCaptureFault);
}

TEST(DriverLinkOpen, FailuresCarryTheirMessages) {
  testing_support::ScriptedDriver driver;
  testing_support::TestWaveOutSystem devices;
  auto parameters = std::make_unique<ProcessingParameters>();
  CapturingReporter reporter;
  {
    driver.available = false;
    CDspMain dsp(driver, devices, reporter, *parameters);
    try {
      dsp.DriverLink().OpenDevice();
      FAIL() << "opened a missing driver";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Text(), "Exception Error: No driver instaled.");
    }
    dsp.Start();  // shown, and the program runs on
    ASSERT_EQ(reporter.Shown().size(), 1u);
    EXPECT_EQ(reporter.Shown()[0], "Exception Error: No driver instaled.");
  }
  {
    driver.available = true;
    driver.registerFails = true;
    CDspMain dsp(driver, devices, reporter, *parameters);
    try {
      dsp.DriverLink().OpenDevice();
      FAIL() << "registration failure ignored";
    } catch (const Exception& e) {
      EXPECT_EQ(e.message, "CUserMode: The driver failed to open the named event!\n");
      EXPECT_EQ(e.title, "Error");
    }
  }
}

}  // namespace
}  // namespace engine_tests
