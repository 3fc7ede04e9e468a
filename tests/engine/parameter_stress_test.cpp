// Every writer the user interface has, hammering the engine from threads of its own while both engine
// threads run a fixed number of blocks: under ThreadSanitizer this finds unguarded shared state; in every
// build it finds a writer that stalls the processing (a block lost, silence inserted, a monitor that never
// gets an answer).
#include <atomic>
#include <cmath>
#include <thread>

#include "engine/level_analysis.h"
#include "engine/volume.h"
#include "tests/engine/engine_fixture.h"

namespace engine_tests {
namespace {

using namespace engine;

constexpr uint64_t kBlocks = 3000;
// What the device plays: the blocks behind the stream's silent start cushion.
constexpr uint64_t kBuffers = kBlocks + engine::kStartCushionBuffers;
constexpr int kFrames = 480;
constexpr uint64_t kLead = 5;

TEST(ParameterStress, WritersFromSeveralThreadsNeitherRaceNorStallTheProcessing) {
  EngineParts engine(0, false);
  auto& [driver, devices, reporter, parameters, dsp] = engine;
  std::vector<int16_t> block(2 * kFrames);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int16_t>(20000 * std::sin(i * 0.05));
  driver.PushFormat(2, 16, 48000, 4 * kFrames);
  for (uint64_t i = 0; i < kBlocks; ++i) driver.PushData(Pcm16(block));
  // A device clock: the driver runs at most kLead buffers ahead of what has been played, the start cushion
  // included.
  std::atomic<uint64_t> credits{kLead};
  driver.SetDataGate([&](uint64_t delivered) { return delivered + engine::kStartCushionBuffers < credits.load(); });

  std::atomic<bool> finished{false};
  std::atomic<int> monitorReplies{0};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {  // the sound card
    while (!finished) {
      const bool last = devices.BuffersWritten() >= kBuffers;
      if (devices.Queued() >= static_cast<int>(kLead) || (last && devices.Queued() > 0)) {
        devices.Play(1);
        ++credits;
        driver.Poke();
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  });
  threads.emplace_back([&] {  // volume sliders, Gather and the amplifier switch
    CVolume volume(parameters->volume);
    for (int i = 0; !finished; ++i) {
      volume.SetVolumePosition(i % 100, i % 2);
      volume.SetGather(i % 3 == 0);
      parameters->amplificator = i % 7 == 0;
    }
  });
  threads.emplace_back([&] {  // equalizer bands
    for (int i = 0; !finished; ++i) parameters->SetEqualizerBandGain(i % kBandCount, (i % 25) - 12.0, i % 2);
  });
  threads.emplace_back([&] {  // compressor and limiter panels
    for (int i = 0; !finished; ++i) {
      parameters->SetCompressorChannel(40 + i % 40, 1.0 + i % 10, 0.001 * (i % 20), 0.05 + 0.01 * (i % 50), 60 + i % 30,
                                       i % 2);
      parameters->SetLimiterChannel(60 + i % 60, (i + 1) % 2, 0.001 * (i % 20), 0.01 + 0.01 * (i % 99));
    }
  });
  threads.emplace_back([&] {  // the monitor graph on every side
    const MonitorSide sides[] = {MonitorSide::kLeft, MonitorSide::kRight, MonitorSide::kBoth};
    double bands[kBandCount], total;
    for (int i = 0; !finished; ++i) {
      PostMonitorRequest(*parameters, sides[i % 3]);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      monitorReplies += TakeMonitorReply(*parameters, bands, &total);
    }
  });

  dsp.Start();
  for (int i = 0; i < 120000 && devices.BuffersPlayed() < kBuffers; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const OutputStatistics statistics = dsp.Output().Statistics();
  dsp.Stop();
  finished = true;
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(devices.BuffersPlayed(), kBuffers) << "blocks lost or repeated";
  EXPECT_EQ(statistics.silentBuffersInserted + statistics.blocksSkipped + statistics.blocksRefused +
                statistics.blocksDroppedBusy,
            0u);
  EXPECT_GT(monitorReplies.load(), 0) << "the processing thread never answered the monitor";
  EXPECT_TRUE(reporter.Shown().empty());
}

}  // namespace
}  // namespace engine_tests
