#include <cmath>
#include <limits>

#include "engine/volume.h"
#include "tests/engine/engine_fixture.h"

namespace engine_tests {
namespace {

using namespace engine;
using ProcessingPass = SteppedEngine;

std::vector<int16_t> Sine16(int frames, int channels, double amplitude, double phaseStep) {
  std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int ch = 0; ch < channels; ++ch)
      samples[i * channels + ch] = static_cast<int16_t>(amplitude * 32767 * std::sin(phaseStep * i + ch));
  return samples;
}

TEST_F(ProcessingPass, BlockShorterThanAFrameIsConsumedAndNotPlayed) {
  StartStereo16();
  warningPending = 1;
  EXPECT_FALSE(dsp->ProcessPendingBlock());
  EXPECT_EQ(warningPending.load(), 1) << "no block, no sound yet";
  driver.PushData({1, 2, 3});
  Capture();
  EXPECT_TRUE(dsp->ProcessPendingBlock());
  EXPECT_EQ(warningPending.load(), 0);
  EXPECT_EQ(link().ReadyCount(), 0);
  EXPECT_EQ(devices.Queued(), 0);
}

TEST_F(ProcessingPass, LargestMonoBlocksPassWhole) {
  driver.PushFormat(1, 16, 48000, 16384);
  Capture();
  const auto input = Sine16(8192, 1, 0.5, 0.01);
  driver.PushData(Pcm16(input));
  Capture();
  ProcessAll();
  devices.Play(1);
  const auto out = Samples16(devices.Played());
  ASSERT_EQ(out.size(), input.size());
  for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], input[i], 1) << i;

  driver.PushFormat(1, 8, 8000, 16384);
  driver.PushData(std::vector<uint8_t>(16384, 200));
  Capture();
  ProcessAll();
  devices.Play(1);
  EXPECT_EQ(devices.Played().size(), 8192u * 2 + 16384u);
  EXPECT_TRUE(reporter.Shown().empty());
}

TEST_F(ProcessingPass, FormatReportRestartsEveryEffectFromSilence) {
  auto configure = [](ProcessingParameters& p) {
    p.volume.gain[0] = p.volume.gain[1] = 1.0;
    for (int band = 0; band < kBandCount; ++band)
      for (int ch = 0; ch < kChannels; ++ch) p.SetEqualizerBandGain(band, band % 2 ? 6.0 : -4.0, ch);
    for (int ch = 0; ch < kChannels; ++ch) {
      p.SetCompressorChannel(50, 2.0, 0.01, 0.2, 66, ch);
      p.SetLimiterChannel(90, ch, 0.001, 0.5);
    }
  };
  configure(*parameters);
  const auto probe = Sine16(441, 2, 0.6, 0.05);
  StartStereo16();
  driver.PushData(Pcm16(Sine16(441, 2, 0.9, 0.3)));
  Capture();
  ProcessAll();
  driver.PushFormat(2, 16, 44100, 1764);
  driver.PushData(Pcm16(probe));
  Capture();
  ProcessAll();
  devices.Play(1);
  const auto afterRestart = Samples16(devices.Played());

  testing_support::ScriptedDriver freshDriver;
  testing_support::TestWaveOutSystem freshDevices;
  auto freshParameters = std::make_unique<ProcessingParameters>();
  configure(*freshParameters);
  CDspMain fresh(freshDriver, freshDevices, reporter, *freshParameters);
  fresh.Output().SelectDevice(0);
  fresh.DriverLink().OpenDevice();
  freshDriver.PushFormat(2, 16, 44100, 1764);
  freshDriver.PushData(Pcm16(probe));
  for (int i = 0; i < 3; ++i) fresh.DriverLink().CapturePass();
  while (fresh.ProcessPendingBlock()) {
  }
  freshDevices.Play(1);
  EXPECT_EQ(afterRestart, Samples16(freshDevices.Played()));
  EXPECT_EQ(afterRestart.size(), probe.size());
}

TEST(EngineLifecycle, StopWithoutStartDoesNothingAndStopClosesBeforeReleasing) {
  testing_support::ScriptedDriver driver;
  testing_support::TestWaveOutSystem devices;
  CapturingReporter reporter;
  auto parameters = std::make_unique<ProcessingParameters>();
  {
    CDspMain dsp(driver, devices, reporter, *parameters);
    dsp.Stop();
    EXPECT_EQ(devices.CloseCount(), 0);
  }
  {
    CDspMain dsp(driver, devices, reporter, *parameters);
    dsp.Output().SelectDevice(0);
    driver.PushFormat(2, 16, 44100, 1764);
    for (int i = 0; i < 4; ++i) driver.PushData(std::vector<uint8_t>(1764, 1));
    dsp.Start();
    for (int i = 0; i < 500 && devices.BuffersWritten() < 4; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(devices.BuffersWritten(), 4u);
    dsp.Stop();
    // Buffers were still queued: the device handed them back before they were freed.
    EXPECT_EQ(devices.ResetCount(), 1);
    EXPECT_EQ(devices.CloseCount(), 1);
    dsp.Stop();
    EXPECT_EQ(devices.CloseCount(), 1);
  }
  EXPECT_TRUE(reporter.Shown().empty());
}

TEST(VolumeControl, PositionsGainsAndTheSilenceThreshold) {
  VolumeSettings settings;
  CVolume volume(settings);
  volume.SetVolumePosition(40, 0);
  EXPECT_DOUBLE_EQ(volume.GetVolumeGain(0), 1.0);
  volume.SetVolumePosition(98, 1);
  EXPECT_NEAR(20 * std::log10(volume.GetVolumeGain(1)), -58.0, 1e-9);
  volume.SetVolumePosition(99, 1);
  EXPECT_EQ(volume.GetVolumePosition(1), 440);
  // What the chain applies: silence below 0.0105, and nothing a damaged stored gain could hold beyond
  // the slider's +40 dB or outside the numbers.
  const std::pair<double, double> effective[] = {{0.0105, 0.0105},
                                                 {0.0104, 0.0},
                                                 {1e6, 100.0},
                                                 {std::numeric_limits<double>::infinity(), 100.0},
                                                 {std::nan(""), 0.0},
                                                 {-3.0, 0.0}};
  for (auto [stored, applied] : effective) {
    volume.SetVolumeGain(stored, 0);
    EXPECT_EQ(volume.EffectiveGain(0), applied) << stored;
  }
}

}  // namespace
}  // namespace engine_tests
