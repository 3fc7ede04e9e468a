// The engine with both of its threads running against a paced driver and a device that plays in step
// with it, the way a sound card's clock drives a real stream.
#include <atomic>
#include <cmath>

#include "engine/level_analysis.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/allocation_counter.h"

namespace engine_tests {
namespace {

using namespace engine;
using testing_support::watchedAllocations;
using testing_support::watchedThread;

constexpr int kBlocksPerRate = 5000;
constexpr double kGain = 0.7;

// A known signal that differs in every block, so a lost or repeated block shows.
std::vector<int16_t> Block(int index, int frames) {
  std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    const double t = index * frames + i;
    samples[2 * i] = static_cast<int16_t>(30000 * std::sin(t * 0.013 + index * 0.1));
    samples[2 * i + 1] = static_cast<int16_t>(((index * 7919 + i * 31) % 60001) - 30000);
  }
  return samples;
}

// Also the audio path's allocation check: after its first block the processing thread allocates nothing,
// through a change of rate and while the monitor reads the levels.
TEST(ThreadedStream, EveryBlockArrivesOnceScaledByTheVolume) {
  EngineParts engine(0, false);
  auto& [driver, devices, reporter, parameters, dsp] = engine;
  parameters->volume.gain[0] = parameters->volume.gain[1] = kGain;
  // No other stage may change the signal here: flat equalizer, ratio 1, limits far above the signal.
  for (int ch = 0; ch < kChannels; ++ch) {
    parameters->SetCompressorChannel(60, 1.0, 0.01, 0.2, 80, ch);
    parameters->SetLimiterChannel(120, ch, 0.001, 0.5);
  }

  // The driver may run at most a few buffers ahead of what the device has played, each stream's start
  // cushion included.
  constexpr uint64_t kLead = 5;
  std::atomic<uint64_t> credits{kLead};
  std::atomic<bool> draining{false};
  driver.SetDataGate([&](uint64_t delivered) {
    return delivered + uint64_t{kStartCushionBuffers} * devices.OpenCount() < credits.load();
  });

  std::vector<int16_t> expectedInput;
  const struct {
    uint32_t rate;
    int frames;
  } segments[] = {{44100, 441}, {48000, 480}};
  int blockIndex = 0;
  uint64_t cushions = 0;
  for (const auto& segment : segments) {
    driver.PushFormat(2, 16, segment.rate, static_cast<uint32_t>(segment.frames * 4));
    cushions += kStartCushionBuffers;
    expectedInput.insert(expectedInput.end(), size_t{kStartCushionBuffers} * segment.frames * 2, 0);
    for (int i = 0; i < kBlocksPerRate; ++i, ++blockIndex) {
      auto block = Block(blockIndex, segment.frames);
      expectedInput.insert(expectedInput.end(), block.begin(), block.end());
      driver.PushData(Pcm16(block));
    }
    // Before the stream changes format, everything delivered is processed and played out.
    driver.PushBarrier([&devices, &draining, cushions](uint64_t delivered) {
      if (devices.BuffersWritten() < delivered + cushions) return false;
      draining = true;
      if (devices.BuffersPlayed() < delivered + cushions) return false;
      draining = false;
      return true;
    });
  }

  std::atomic<bool> finished{false};
  std::thread player([&] {
    while (!finished) {
      if (watchedThread.load() == std::thread::id{} && devices.BuffersWritten() > 0)
        watchedThread = devices.WriterThread();
      const int queued = devices.Queued();
      // Plays one buffer whenever five are queued, so the engine sees four or five: within 2 to 7.
      if (queued >= static_cast<int>(kLead) || (draining && queued > 0)) {
        devices.Play(1);
        // The monitor takes a reading and asks for the next now and then, racing the processing thread's
        // answers (checked by the thread sanitizer); answering must not allocate on the processing thread.
        if (++credits % 16 == 0) {
          double bands[kBandCount], total;
          engine::TakeMonitorReply(*parameters, bands, &total);
          engine::PostMonitorRequest(*parameters,
                                     credits % 3 == 0 ? engine::MonitorSide::kBoth : engine::MonitorSide::kRight);
        }
        driver.Poke();
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  });

  dsp.Start();
  for (int i = 0; i < 60000 && driver.Pending() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const bool scriptDone = driver.Pending() == 0;
  const OutputStatistics statistics = dsp.Output().Statistics();
  dsp.Stop();
  finished = true;
  player.join();
  const std::thread::id watched = watchedThread.exchange(std::thread::id{});

  ASSERT_TRUE(scriptDone) << "driver still had " << driver.Pending() << " steps";
  EXPECT_TRUE(reporter.Shown().empty());
  EXPECT_EQ(statistics.silentBuffersInserted + statistics.blocksSkipped + statistics.blocksDroppedBusy, 0u);
  EXPECT_NE(watched, std::thread::id{}) << "the processing thread was never watched";
  EXPECT_EQ(watchedAllocations.load(), 0u) << "the processing thread allocated after its first block";

  const auto played = Samples16(devices.Played());
  ASSERT_EQ(played.size(), expectedInput.size()) << "blocks lost or repeated";
  size_t mismatches = 0;
  for (size_t i = 0; i < played.size(); ++i)
    if (std::abs(played[i] - expectedInput[i] * kGain) > 1.0 && ++mismatches < 5)
      ADD_FAILURE() << "sample " << i << ": " << played[i] << " vs " << expectedInput[i] * kGain;
  EXPECT_EQ(mismatches, 0u);
  const auto formats = devices.OpenedFormats();
  ASSERT_EQ(formats.size(), 2u);
  EXPECT_EQ(formats[0].samplesPerSec, 44100u);
  EXPECT_EQ(formats[1].samplesPerSec, 48000u);
}

}  // namespace
}  // namespace engine_tests
