#include <cmath>
#include <thread>

#include "engine/sample_conversion.h"
#include "engine/volume.h"
#include "tests/engine/engine_fixture.h"

namespace engine_tests {
namespace {

using namespace engine;
using ProcessingPass = SteppedEngine;

TEST_F(ProcessingPass, BlockShorterThanAFrameIsConsumedAndNotPlayed) {
  StartStereo16();
  parameters->warningPending = 1;
  EXPECT_FALSE(dsp.ProcessPendingBlock());
  EXPECT_EQ(parameters->warningPending.load(), 1) << "no block, no sound yet";
  driver.PushData({1, 2, 3});
  Capture();
  EXPECT_TRUE(dsp.ProcessPendingBlock());
  EXPECT_EQ(parameters->warningPending.load(), 0);
  EXPECT_EQ(ring().ReadyCount(), 0);
  EXPECT_EQ(devices.Queued(), 0);
}

struct Format {
  uint16_t channels;
  uint32_t rate;
  uint16_t bits;
  int frames;  // per block
};

// A block in `format`: a sine on every channel.
std::vector<uint8_t> SineBlock(const Format& format, double amplitude, double phaseStep) {
  const int frames = format.frames, stride = format.channels * format.bits / 8;
  std::vector<double> sine(frames);
  for (int i = 0; i < frames; ++i) sine[i] = amplitude * std::sin(phaseStep * i);
  std::vector<uint8_t> bytes(size_t(frames) * stride);
  for (int ch = 0; ch < format.channels; ++ch)
    pcm::WriteChannel(bytes.data() + ch * format.bits / 8, stride, format.bits, sine);
  return bytes;
}

// After a format report the engine sounds exactly as one started in the new format, whatever the old
// rate, channel count and sample width: every stage follows the new rate and restarts from silence, and the start
// cushion is silence at the new width (the midpoint for 8 bits). The largest blocks the driver delivers (mono: 8192
// 16-bit frames, 16384 8-bit ones) pass whole.
TEST(FormatChange, EveryStageThenSoundsAsInAStartInTheNewFormat) {
  const Format formats[] = {{2, 44100, 16, 441}, {2, 96000, 16, 960}, {1, 96000, 16, 960}, {1, 48000, 16, 8192},
                            {1, 8000, 8, 16384}, {2, 22050, 8, 220},  {1, 48000, 32, 480}, {2, 44100, 64, 441}};
  for (size_t k = 1; k < std::size(formats); ++k) {
    const Format &from = formats[k - 1], &to = formats[k];
    SCOPED_TRACE(testing::Message() << from.rate << " -> " << to.rate << " Hz, " << to.channels << " channels, "
                                    << to.bits << " bits");
    EngineParts used, fresh;
    for (ProcessingParameters* p : {used.parameters.get(), fresh.parameters.get()})
      for (int ch = 0; ch < kChannels; ++ch) {
        for (int band = 0; band < kBandCount; ++band) p->SetEqualizerBandGain(band, band % 2 ? 6.0 : -4.0, ch);
        p->SetCompressorChannel(50, 2.0, 0.01, 0.2, 66, ch);
        p->SetLimiterChannel(90, ch, 0.001, 0.5);
      }
    used.driver.PushFormat(from.channels, from.bits, from.rate, uint32_t(SineBlock(from, 0, 0).size()));
    used.driver.PushData(SineBlock(from, 0.9, 0.3));  // leaves every stage in some state
    used.Capture();
    used.ProcessAll();
    const uint32_t blockBytes = uint32_t(SineBlock(to, 0, 0).size());
    for (EngineParts* engine : {&used, &fresh}) {
      engine->driver.PushFormat(to.channels, to.bits, to.rate, blockBytes);
      engine->driver.PushData(SineBlock(to, 0.6, 0.05));
      engine->Capture();
      engine->ProcessAll();
      engine->devices.Play(1 + kStartCushionBuffers);
    }
    const uint8_t silence = to.bits == 8 ? 128 : 0;
    const auto afterChange = PastStartCushion(used.devices.Played(), blockBytes, 0, silence);
    EXPECT_EQ(afterChange.size(), blockBytes);
    EXPECT_EQ(afterChange, PastStartCushion(fresh.devices.Played(), blockBytes, 0, silence));
  }
}

// A driver that has its blocks read on its own thread gets them processed there as well, and is not called
// into once the engine has stopped. Stop closes the device once, after it handed back the buffers still
// queued; a stop without a start does nothing.
TEST(EngineLifecycle, BlocksReadOnTheDriversThreadAreProcessedThereAndStopClosesOnce) {
  EngineParts never(0, false);
  never.dsp.Stop();
  EXPECT_EQ(never.devices.CloseCount(), 0);
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
  EXPECT_EQ(engine.devices.ResetCount(), 1);
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
  const std::pair<double, double> effective[] = {{0.0105, 0.0105},  {0.0104, 0.0}, {1e6, 100.0},
                                                 {INFINITY, 100.0}, {NAN, 0.0},    {-3.0, 0.0}};
  for (auto [stored, applied] : effective) {
    volume.SetVolumeGain(stored, 0);
    EXPECT_EQ(volume.EffectiveGain(0), applied) << stored;
  }
}

}  // namespace
}  // namespace engine_tests
