#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

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
  parameters->warningPending = 1;
  EXPECT_FALSE(dsp.ProcessPendingBlock());
  EXPECT_EQ(parameters->warningPending.load(), 1) << "no block, no sound yet";
  driver.PushData({1, 2, 3});
  Capture();
  EXPECT_TRUE(dsp.ProcessPendingBlock());
  EXPECT_EQ(parameters->warningPending.load(), 0);
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
  devices.Play(1 + kStartCushionBuffers);
  const auto out = Samples16(PastStartCushion(devices.Played(), 16384));
  ASSERT_EQ(out.size(), input.size());
  for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], input[i], 1) << i;

  driver.PushFormat(1, 8, 8000, 16384);
  driver.PushData(std::vector<uint8_t>(16384, 200));
  Capture();
  ProcessAll();
  devices.Play(1 + kStartCushionBuffers);
  const auto both = PastStartCushion(PastStartCushion(devices.Played(), 16384), 16384, 16384, 128);
  EXPECT_EQ(both.size(), 8192u * 2 + 16384u);
  EXPECT_TRUE(reporter.Shown().empty());
}

TEST_F(ProcessingPass, FormatReportRestartsEveryEffectFromSilence) {
  EngineParts fresh;
  for (ProcessingParameters* p : {parameters.get(), fresh.parameters.get()})
    for (int ch = 0; ch < kChannels; ++ch) {
      for (int band = 0; band < kBandCount; ++band) p->SetEqualizerBandGain(band, band % 2 ? 6.0 : -4.0, ch);
      p->SetCompressorChannel(50, 2.0, 0.01, 0.2, 66, ch);
      p->SetLimiterChannel(90, ch, 0.001, 0.5);
    }
  const auto probe = Pcm16(Sine16(441, 2, 0.6, 0.05));
  StartStereo16();
  driver.PushData(Pcm16(Sine16(441, 2, 0.9, 0.3)));  // leaves every stage in some state
  Capture();
  ProcessAll();
  for (EngineParts* engine : {static_cast<EngineParts*>(this), &fresh}) {
    engine->driver.PushFormat(2, 16, 44100, 1764);
    engine->driver.PushData(probe);
    engine->Capture();
    engine->ProcessAll();
    engine->devices.Play(1 + kStartCushionBuffers);
  }
  const auto afterRestart = Samples16(PastStartCushion(devices.Played(), 1764));
  EXPECT_EQ(afterRestart.size(), probe.size() / 2);
  EXPECT_EQ(afterRestart, Samples16(PastStartCushion(fresh.devices.Played(), 1764)));
}

// A driver that has its blocks read on its own thread gets them processed there as well, and is not called
// into once the engine has stopped.
TEST(EngineLifecycle, BlocksReadOnTheDriversThreadAreProcessedThere) {
  EngineParts engine(0, false);
  engine.driver.readsOnItsThread = true;
  engine.driver.PushFormat(2, 16, 44100, 1764);
  for (int i = 0; i < 3; ++i) engine.driver.PushData(std::vector<uint8_t>(1764, 1));
  engine.dsp.Start();
  std::thread::id driverThread;
  std::thread([&] {
    driverThread = std::this_thread::get_id();
    EXPECT_TRUE(engine.driver.Deliver());
  }).join();
  EXPECT_EQ(engine.devices.BuffersWritten(), 3u + kStartCushionBuffers) << "processed before the driver went on";
  EXPECT_EQ(engine.devices.WriterThread(), driverThread);
  engine.dsp.Stop();
  EXPECT_FALSE(engine.driver.Deliver());
  EXPECT_EQ(engine.devices.CloseCount(), 1);
  EXPECT_TRUE(engine.reporter.Shown().empty());
}

TEST(EngineLifecycle, StopWithoutStartDoesNothingAndStopClosesBeforeReleasing) {
  EngineParts never(0, false);
  never.dsp.Stop();
  EXPECT_EQ(never.devices.CloseCount(), 0);
  EngineParts engine(0, false);
  engine.driver.PushFormat(2, 16, 44100, 1764);
  for (int i = 0; i < 4; ++i) engine.driver.PushData(std::vector<uint8_t>(1764, 1));
  engine.dsp.Start();
  constexpr uint64_t kWritten = 4 + kStartCushionBuffers;
  for (int i = 0; i < 500 && engine.devices.BuffersWritten() < kWritten; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_EQ(engine.devices.BuffersWritten(), kWritten);
  engine.dsp.Stop();
  // Buffers were still queued: the device handed them back before they were freed.
  EXPECT_EQ(engine.devices.ResetCount(), 1);
  EXPECT_EQ(engine.devices.CloseCount(), 1);
  engine.dsp.Stop();
  EXPECT_EQ(engine.devices.CloseCount(), 1);
  EXPECT_TRUE(engine.reporter.Shown().empty());
}

// The slider positions' gains are tested with the panels.
TEST(VolumeControl, TheSilenceThresholdAndStoredGainsBeyondTheSlider) {
  VolumeSettings settings;
  CVolume volume(settings);
  // What the chain applies: silence below 0.0105, and nothing a damaged stored gain could hold beyond
  // the slider's +40 dB or outside the numbers.
  const std::pair<double, double> effective[] = {{0.0105, 0.0105}, {0.0104, 0.0}, {1e6, 100.0},
                                                 {INFINITY, 100.0},  {NAN, 0.0},     {-3.0, 0.0}};
  for (auto [stored, applied] : effective) {
    volume.SetVolumeGain(stored, 0);
    EXPECT_EQ(volume.EffectiveGain(0), applied) << stored;
  }
}

}  // namespace
}  // namespace engine_tests
