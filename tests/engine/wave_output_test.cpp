#include <cmath>
#include <limits>

#include "engine/exceptions.h"
#include "engine/sample_conversion.h"
#include "tests/engine/engine_fixture.h"

namespace engine_tests {
namespace {

using namespace engine;
using WaveOutputQueue = SteppedEngine;

std::string ThrownText(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Text();
  }
  return "";
}

TEST_F(WaveOutputQueue, OpenChecksBlockSizeAndDevice) {
  output().SetFormat(16, 44100, 2);
  EXPECT_THROW(output().Open(0), ParamException);
  EXPECT_THROW(output().Open(16385), ParamException);
  output().Open(16384);
  EXPECT_TRUE(output().IsOpen());
  output().Close();
  EXPECT_THROW(output().SelectDevice(2), ParamException);
  EXPECT_THROW(output().Open(1764), ParamException);
  devices.openResult = kWaveBadFormat;
  output().SelectDevice(1);
  EXPECT_THROW(output().Open(1764), ParamException);
  EXPECT_FALSE(output().IsOpen());
}

TEST_F(WaveOutputQueue, DeviceHelpers) {
  EXPECT_EQ(output().GetDeviceName(1), "Headphones");
  char tiny[5];
  output().GetDeviceName(0, tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "Spea");
  EXPECT_EQ(ThrownText([&] { output().GetDeviceName(0, nullptr, 10); }), "Exception Parameter Error: Invalid arguments");
  EXPECT_EQ(ThrownText([&] { output().GetDeviceName(7); }), "Exception Parameter Error: No output device found");

  output().SelectDevice(1);
  output().MuteDevice();
  EXPECT_EQ(devices.WaveVolumes()[1], 0u);
  EXPECT_EQ(devices.MixerVolumes()[1], 0u);
  output().RestoreDeviceVolume();
  EXPECT_EQ(devices.WaveVolumes()[1], 0x10001000u);
  EXPECT_EQ(devices.MixerVolumes()[1], 50u);
  EXPECT_EQ(CWaveOutput::ErrorText(33), "The buffer pointed to by the pwh parameter is still in the queue.");
  EXPECT_EQ(CWaveOutput::ErrorText(99), "Unknown error");
}

TEST_F(WaveOutputQueue, WriteChannelLimitsFramesToOneBlock) {
  StartStereo16();
  std::vector<double> samples(4097, 0.25);
  EXPECT_EQ(output().WriteChannel(samples.data(), 4096, 0), 4096);
  EXPECT_THROW(output().WriteChannel(samples.data(), 4097, 1), ParamException);
  EXPECT_THROW(output().Submit(4097), ParamException);
}

TEST(SampleConversion, ClampsAndSaturatesAtEveryWidth) {
  const std::vector<double> in = {1.5, -1.5, 1.0, -1.0, 0.5, -0.25, std::nan("")};
  uint8_t bytes[8 * 8];
  pcm::WriteChannel(bytes, 2, 7, 16, in.data());
  EXPECT_EQ(Samples16(std::vector<uint8_t>(bytes, bytes + 14)),
            (std::vector<int16_t>{32767, -32767, 32767, -32767, 16383, -8191, 0}));
  pcm::WriteChannel(bytes, 1, 7, 8, in.data());
  EXPECT_EQ(std::vector<int>(bytes, bytes + 7), (std::vector<int>{255, 1, 255, 1, 191, 97, 128}));
  pcm::WriteChannel(bytes, 8, 7, 64, in.data());
  int64_t s64[7];
  std::memcpy(s64, bytes, sizeof s64);
  EXPECT_EQ(s64[0], std::numeric_limits<int64_t>::max());
  EXPECT_EQ(s64[1], std::numeric_limits<int64_t>::min());
  EXPECT_EQ(s64[4], int64_t{1} << 62);
  pcm::WriteChannel(bytes, 4, 7, 32, in.data());
  int32_t s32[7];
  std::memcpy(s32, bytes, sizeof s32);
  EXPECT_EQ(s32[0], 2147483647);
  EXPECT_EQ(s32[1], -2147483647);

  // Reading then writing 16-bit PCM at unity returns the same integers.
  const std::vector<int16_t> original = {-32767, -12345, -1, 0, 1, 12345, 32767};
  auto pcm16 = Pcm16(original);
  double x[7];
  pcm::ReadChannel(pcm16.data(), 2, 7, 16, x);
  pcm::WriteChannel(bytes, 2, 7, 16, x);
  EXPECT_EQ(Samples16(std::vector<uint8_t>(bytes, bytes + 14)), original);
}

class Regulation : public SteppedEngine {
 protected:
  // Queues `count` blocks through the normal write path.
  void QueueBlocks(int count) {
    std::vector<double> block(441, 0.5);
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(output().WriteChannel(block.data(), 441, 0), 441);
      ASSERT_EQ(output().WriteChannel(block.data(), 441, 1), 441);
      output().Submit(441);
    }
  }
  int Skip() {
    platform::Guard guard(link().RingLock());
    return link().SkipCounter();
  }
  void SetSkip(int count) {
    platform::Guard guard(link().RingLock());
    link().SkipCounter() = count;
  }
};

TEST_F(Regulation, DryQueueGetsSilenceUpToThreeBuffersAndDropsNoInput) {
  StartStereo16();
  output().Regulate();
  EXPECT_EQ(devices.Queued(), 0) << "a queue never used is left alone";
  QueueBlocks(3);
  devices.Play(2);
  SetSkip(5);
  output().Regulate();
  EXPECT_EQ(devices.Queued(), 3);
  EXPECT_EQ(Skip(), 0) << "a dry device must not also drop input";
  devices.Play(3);
  output().Regulate();
  EXPECT_EQ(devices.Queued(), 3);
  EXPECT_EQ(output().Statistics().silentBuffersInserted, 5u);
  devices.Play(3);
  const auto played = devices.Played();
  ASSERT_EQ(played.size(), 8u * 1764);
  for (size_t i = 3 * 1764; i < played.size(); ++i) ASSERT_EQ(played[i], 0) << "byte " << i;
}

TEST_F(Regulation, DeepQueueAsksTheDriverLinkToDropTheExcess) {
  StartStereo16();
  QueueBlocks(10);
  output().Regulate();
  EXPECT_EQ(Skip(), 4);
  SetSkip(2);
  output().Regulate();
  EXPECT_EQ(Skip(), 2) << "a pending count is left to run out";

  devices.Play(6);
  output().Regulate();
  EXPECT_EQ(Skip(), 0);
  EXPECT_EQ(devices.Queued(), 4);
}

TEST_F(Regulation, SilenceForEightBitStreamsIsTheMidpoint) {
  driver.PushFormat(1, 8, 8000, 80);
  Capture();
  std::vector<double> block(80, 0.0);
  output().WriteChannel(block.data(), 80, 0);
  output().Submit(80);
  devices.Play(1);
  output().Regulate();
  devices.Play(3);
  const auto played = devices.Played();
  ASSERT_EQ(played.size(), 4u * 80);
  for (uint8_t b : played) ASSERT_EQ(b, 128);
}

TEST_F(Regulation, DeviceStillHoldingTheBufferDropsTheBlock) {
  StartStereo16();
  QueueBlocks(kOutputBuffers);  // every buffer is with the device now
  std::vector<double> block(441, 0.5);
  EXPECT_EQ(output().WriteChannel(block.data(), 441, 0), 0);
  EXPECT_EQ(output().Statistics().blocksDroppedBusy, 1u);
  devices.Play(1);
  EXPECT_EQ(output().WriteChannel(block.data(), 441, 0), 441);
}

TEST_F(Regulation, RefusedBufferIsRecycled) {
  StartStereo16();
  devices.Current()->failWrite = true;
  QueueBlocks(1);
  EXPECT_EQ(devices.Queued(), 0);
  devices.Current()->failWrite = false;
  QueueBlocks(1);
  EXPECT_EQ(devices.Queued(), 1);
}

TEST(NoDeviceSelected, OpensWritesAndRegulatesNothing) {
  testing_support::ScriptedDriver driver;
  testing_support::TestWaveOutSystem devices;
  CapturingReporter reporter;
  auto parameters = std::make_unique<ProcessingParameters>();
  parameters->volume.gain[0] = parameters->volume.gain[1] = 1.0;
  CDspMain dsp(driver, devices, reporter, *parameters);
  ASSERT_EQ(dsp.Output().SelectedDevice(), -2);
  dsp.DriverLink().OpenDevice();
  driver.PushFormat(2, 16, 44100, 1764);
  for (int i = 0; i < 4; ++i) driver.PushData(std::vector<uint8_t>(1764, 9));
  for (int i = 0; i < 10; ++i) dsp.DriverLink().CapturePass();
  EXPECT_EQ(dsp.DriverLink().State(), kCaptureStreaming);
  while (dsp.ProcessPendingBlock()) {
  }
  EXPECT_EQ(devices.OpenCount(), 0);
  EXPECT_TRUE(devices.Played().empty());
  EXPECT_EQ(dsp.Output().Statistics().silentBuffersInserted, 0u);
  EXPECT_TRUE(reporter.Shown().empty());
}

}  // namespace
}  // namespace engine_tests
