// The engine with both of its threads running against a paced driver and a device that plays in step
// with it, the way a sound card's clock drives a real stream, while every writer the user interface has
// hammers the settings from threads of its own: under ThreadSanitizer this finds unguarded shared state; in
// every build it finds a writer that stalls the processing (a block lost, silence inserted, a monitor that
// never gets an answer).
#include <atomic>
#include <cmath>

#include "engine/level_analysis.h"
#include "engine/volume.h"
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
// through a change of rate, while the monitor reads the levels and while the right channel's settings change
// (the left channel's sound is checked sample by sample, the right one's only moves).
TEST(ThreadedStream, EveryBlockArrivesOnceScaledByTheVolumeWhileWritersChangeTheSettings) {
  EngineParts engine(0, false);
  auto& [driver, devices, reporter, parameters, dsp] = engine;
  parameters->volume.gain[0] = parameters->volume.gain[1] = kGain;
  // No other stage may change the left signal: flat equalizer, ratio 1, limits far above the signal (with the
  // amplifier too).
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
  std::atomic<int> monitorReplies{0};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {  // the sound card
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
          const MonitorSide sides[] = {MonitorSide::kLeft, MonitorSide::kRight, MonitorSide::kBoth};
          double bands[kBandCount], total;
          monitorReplies += TakeMonitorReply(*parameters, bands, &total);
          PostMonitorRequest(*parameters, sides[credits / 16 % 3]);
        }
        driver.Poke();
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  });
  threads.emplace_back([&] {  // the right volume slider, Gather and the amplifier switch
    CVolume volume(parameters->volume);
    for (int i = 0; !finished; ++i) {
      volume.SetVolumePosition(i % 100, 1);
      volume.SetGather(i % 3 == 0);
      parameters->amplificator = i % 7 == 0;
    }
  });
  threads.emplace_back([&] {  // the right equalizer's bands
    for (int i = 0; !finished; ++i) parameters->SetEqualizerBandGain(i % kBandCount, (i % 25) - 12.0, 1);
  });
  threads.emplace_back([&] {  // the right compressor and limiter
    for (int i = 0; !finished; ++i) {
      parameters->SetCompressorChannel(40 + i % 40, 1.0 + i % 10, 0.001 * (i % 20), 0.05 + 0.01 * (i % 50), 60 + i % 30,
                                       1);
      parameters->SetLimiterChannel(60 + i % 60, 1, 0.001 * (i % 20), 0.01 + 0.01 * (i % 99));
    }
  });

  dsp.Start();
  for (int i = 0; i < 60000 && driver.Pending() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const bool scriptDone = driver.Pending() == 0;
  const OutputStatistics statistics = dsp.Output().Statistics();
  dsp.Stop();
  finished = true;
  for (std::thread& thread : threads) thread.join();
  const std::thread::id watched = watchedThread.exchange(std::thread::id{});

  ASSERT_TRUE(scriptDone) << "driver still had " << driver.Pending() << " steps";
  EXPECT_TRUE(reporter.Shown().empty());
  EXPECT_EQ(statistics.silentBuffersInserted + statistics.blocksSkipped + statistics.blocksRefused +
                statistics.blocksDroppedBusy,
            0u);
  EXPECT_GT(monitorReplies.load(), 0) << "the processing thread never answered the monitor";
  EXPECT_NE(watched, std::thread::id{}) << "the processing thread was never watched";
  EXPECT_EQ(watchedAllocations.load(), 0u) << "the processing thread allocated after its first block";

  const auto played = Samples16(devices.Played());
  ASSERT_EQ(played.size(), expectedInput.size()) << "blocks lost or repeated";
  size_t mismatches = 0;
  for (size_t i = 0; i < played.size(); i += 2)
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
