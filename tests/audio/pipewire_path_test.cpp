// The PipeWire backend's audio path without a server: the engine is fed cycle by cycle, as PipeWire's data thread
// feeds it, through the same driver device and output stream the live program uses.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/pipewire_driver.h"
#include "audio/pipewire_live_path.h"
#include "audio/pipewire_wave_out.h"
#include "engine/dsp_main.h"
#include "engine/sample_conversion.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/graph_opener.h"
#include "tests/support/test_wave_device.h"
#include "tools/cli_arguments.h"

namespace {

using audio::GraphCycle;

constexpr uint32_t kRate = 48000;

// The engine with flat curves, ratio 1, 0 dB and the limiter at full scale: what it plays is what it got.
struct GraphEngine {
  GraphEngine() {
    cli::ApplyProcessingOptions(cli::ProcessingOptions{}, *parameters);
    for (int c = 0; c < audio::kGraphChannels; ++c) {
      input[c].reserve(audio::kGraphMaxFrames);  // the test's own buffers allocate nothing while counted
      output[c].reserve(audio::kGraphMaxFrames);
    }
    dsp.Output().SelectDevice(0);
    dsp.Start();
  }
  ~GraphEngine() { dsp.Stop(); }

  // One cycle of `frames` starting `gapNs` after the previous one ended; what left is in `output`.
  void Cycle(uint32_t frames, uint64_t gapNs = 0) {
    for (int c = 0; c < audio::kGraphChannels; ++c) {
      input[c].resize(frames);
      output[c].assign(frames, -2.0f);  // a value the engine never writes
      for (uint32_t i = 0; i < frames; ++i) input[c][i] = float(0.25 * std::sin(0.01 * double(sample + i) + c));
      path.Cycle().input[c] = input[c].data();
      path.Cycle().output[c] = output[c].data();
    }
    nsec += gapNs + 1'000'000;  // cycles are at least a millisecond apart, whatever their size
    path.RunCycle(frames, kRate, nsec);
    nsec += uint64_t(frames) * 1'000'000'000ull / kRate;
    sample += frames;
  }

  std::unique_ptr<engine::ProcessingParameters> parameters = std::make_unique<engine::ProcessingParameters>();
  audio::PipeWireLivePath path;
  testing_support::TestWaveOutSystem list{{"Speakers"}};
  audio::PipeWireWaveOutSystem outputs{list, path};
  testing_support::GraphOpener opener{path};
  engine_tests::CapturingReporter reporter;
  engine::CDspMain dsp{opener, outputs, reporter, *parameters};
  std::vector<float> input[audio::kGraphChannels], output[audio::kGraphChannels];
  uint64_t nsec = 1;
  uint64_t sample = 0;
};

// Heap allocations made by this thread while `run` runs.
template <class Run>
uint64_t AllocationsDuring(Run&& run) {
  testing_support::watchedAllocations = 0;
  testing_support::watchedThread = std::this_thread::get_id();
  run();
  testing_support::watchedThread = std::thread::id{};
  return testing_support::watchedAllocations.load();
}

// Every cycle size the server may choose, changing while playing: each cycle's sound leaves in that same cycle,
// processed whole (cut into the protocol's blocks where it is larger), with no cushion, top-up or drop, and
// without a heap allocation on the audio thread, from the stream's first cycle on.
TEST(PipeWirePath, EveryCycleLeavesInTheSameCycleWhateverItsSize) {
  GraphEngine graph;
  // The first cycle begins the stream: the format report, the output opened, then its sound.
  EXPECT_EQ(AllocationsDuring([&] { graph.Cycle(256); }), 0u);
  ASSERT_EQ(graph.dsp.DriverLink().State(), engine::kCaptureStreaming);
  testing_support::watchedThread = std::this_thread::get_id();
  testing_support::watchedAllocations = 0;
  for (uint32_t frames : {64u, 8192u, 256u, 1024u, 2048u, 2049u, 4096u, 100u, 8192u}) {
    graph.Cycle(frames);
    for (int c = 0; c < audio::kGraphChannels; ++c)
      for (uint32_t i = 0; i < frames; ++i)
        ASSERT_NEAR(graph.output[c][i], graph.input[c][i], 1e-5)
            << frames << " frames, channel " << c << ", frame " << i;
  }
  testing_support::watchedThread = std::thread::id{};
  EXPECT_EQ(testing_support::watchedAllocations.load(), 0u);
  const engine::OutputStatistics stats = graph.dsp.Output().Statistics();
  EXPECT_EQ(stats.silentBuffersInserted, 0u);
  EXPECT_EQ(stats.blocksSkipped + stats.blocksRefused + stats.blocksDroppedBusy, 0u);
  EXPECT_TRUE(graph.reporter.Shown().empty());
  const engine::WaveFormat playing = graph.dsp.PlayingFormat();
  EXPECT_EQ(playing.samplesPerSec, kRate);
  EXPECT_EQ(playing.channels, 2);
}

// After the graph paused (nothing played) the engine hears a new stream, its filters start from zero, and the
// first cycle of it is played, not swallowed; the output reopens without a heap allocation on the audio thread.
TEST(PipeWirePath, APauseOfTheGraphStartsANewStreamThatPlaysAtOnce) {
  GraphEngine graph;
  graph.Cycle(512);
  graph.Cycle(512);
  ASSERT_EQ(graph.dsp.Output().IsOpen(), true);
  EXPECT_EQ(AllocationsDuring([&] { graph.Cycle(512, 2'000'000'000ull); }), 0u);
  EXPECT_EQ(graph.dsp.DriverLink().State(), engine::kCaptureStreaming);
  for (uint32_t i = 0; i < 512; ++i) ASSERT_NEAR(graph.output[1][i], graph.input[1][i], 1e-5) << i;
}

// The driver protocol's answers for cycles as the device sees them.
TEST(PipeWirePath, CyclesAnswerTheDriverProtocol) {
  audio::PipeWireLivePath path;
  audio::PipeWireDriverDevice device(path);
  std::vector<float> left(8192, 0.5f), right(8192, -0.25f);
  uint8_t block[engine::kMaxBlockBytes];
  GraphCycle cycle{{left.data(), right.data()}, {}, 5000, kRate, 0, 0, true};

  struct Step {
    const char* what;
    uint32_t answer;
  };
  const Step first[] = {{"a new stream is reported first", engine::kReadFormatChanged},
                        {"then blocks of at most the protocol's size", 2048 * 8},
                        {"the next", 2048 * 8},
                        {"the rest of the cycle", 904 * 8},
                        {"then nothing", engine::kReadNothingWaiting}};
  for (const Step& step : first) EXPECT_EQ(device.ReadBlock(cycle, block), step.answer) << step.what;
  int32_t sample[2];
  std::memcpy(sample, block, sizeof sample);
  EXPECT_NEAR(engine::pcm::Read32(reinterpret_cast<uint8_t*>(&sample[0])), 0.5, 1e-9);
  EXPECT_NEAR(engine::pcm::Read32(reinterpret_cast<uint8_t*>(&sample[1])), -0.25, 1e-9);

  uint32_t answered = 0, error = 0;
  engine::StreamFormat format;
  ASSERT_TRUE(device.Control(engine::kRequestReadFormat, &format, sizeof format, &answered, &error));
  EXPECT_EQ(answered, sizeof format);
  EXPECT_EQ(format.samplesPerSec, kRate);
  EXPECT_EQ(format.channels, 2);
  EXPECT_EQ(format.bitsPerSample, 32);
  EXPECT_EQ(format.blockBytes, engine::kMaxBlockBytes);
  // Outside a cycle nothing waits.
  ASSERT_TRUE(device.Control(engine::kRequestReadBlock, block, sizeof block, &answered, &error));
  EXPECT_EQ(answered, engine::kReadNothingWaiting);

  const Step afterPause[] = {{"a streaming device stops first", engine::kReadStopped},
                             {"then reports the stream again", engine::kReadFormatChanged},
                             {"then plays it", 100 * 8}};
  cycle = GraphCycle{{left.data(), right.data()}, {}, 100, kRate, 0, 0, true};
  for (const Step& step : afterPause) EXPECT_EQ(device.ReadBlock(cycle, block), step.answer) << step.what;
  cycle = GraphCycle{{left.data(), right.data()}, {}, 100, 44100, 0, 0, false};
  EXPECT_EQ(device.ReadBlock(cycle, block), engine::kReadFormatChanged) << "a new rate is a new format";
}

// What the engine writes goes into the cycle's output at the write position, scaled, never past the cycle; an
// output port that is not linked is left alone.
TEST(PipeWirePath, WrittenBlocksFillTheCycleInOrder) {
  std::vector<float> left(300, -2.0f);
  GraphCycle cycle{{}, {left.data()}, 300};
  std::vector<uint8_t> pcm(256 * 8);
  for (size_t frame = 0; frame < 256; ++frame) {
    engine::pcm::Write32(&pcm[frame * 8], 0.5);
    engine::pcm::Write32(&pcm[frame * 8 + 4], -0.5);
  }
  const float gain[2] = {0.5f, 1.0f};
  EXPECT_EQ(audio::PipeWireWaveOutStream::PlayInto(cycle, pcm.data(), 256, 2, gain), 256u);
  EXPECT_EQ(audio::PipeWireWaveOutStream::PlayInto(cycle, pcm.data(), 256, 2, gain), 44u) << "cut at the cycle's end";
  EXPECT_EQ(cycle.written, 300u);
  for (float value : left) ASSERT_NEAR(value, 0.25f, 1e-6);
}

// Output streams take the slots set aside for them while one is free and the heap once all are taken; each is a
// stream of its own, and whichever way it was made, it goes back to where it came from.
TEST(PipeWirePath, OutputStreamsBeyondTheSetAsideSlotsComeFromTheHeap) {
  audio::PipeWireLivePath path;
  testing_support::TestWaveOutSystem list{{"Speakers"}};
  audio::PipeWireWaveOutSystem outputs{list, path};
  const engine::WaveFormat format{engine::kWaveFormatPcm, 2, kRate, kRate * 8, 8, 32, 0};
  std::vector<std::unique_ptr<engine::IWaveOutStream>> streams(8);
  std::vector<uint64_t> allocations;
  for (const int i : {0, 1, 2, 3, 4, 5, 6, 7, 0, 7}) {  // the last two close a stream and open it again
    streams[i].reset();
    allocations.push_back(AllocationsDuring([&] { outputs.OpenNamed("Speakers", format, &streams[i]); }));
  }
  EXPECT_EQ((std::vector{allocations[0], allocations[7], allocations[8], allocations[9]}),
            (std::vector<uint64_t>{0, 1, 0, 1}))
      << "the first stream and a freed slot's take a slot, the eighth comes from the heap";
  std::set<engine::IWaveOutStream*> distinct{nullptr};
  for (auto& stream : streams) distinct.insert(stream.get());
  EXPECT_EQ(distinct.size(), streams.size() + 1) << "every stream open, each its own";
}

// The backend: as asked, else PipeWire's graph exactly when the server is PipeWire.
TEST(AudioBackend, AsAskedElseTheGraphWhenTheServerIsPipeWire) {
  struct Asked {
    const char* text;
    bool valid, automatic;
    audio::AudioBackend backend;
  };
  const Asked asked[] = {{"pulse", true, false, audio::AudioBackend::kPulse},
                         {"pipewire", true, false, audio::AudioBackend::kPipeWire},
                         {"", true, true, audio::AudioBackend::kPulse},
                         {"auto", true, true, audio::AudioBackend::kPulse},
                         {"jack", false, false, audio::AudioBackend::kPulse}};
  for (const Asked& a : asked) {
    audio::AudioBackend backend = audio::AudioBackend::kPulse;
    bool automatic = false;
    EXPECT_EQ(audio::ParseAudioBackend(a.text, &backend, &automatic), a.valid) << a.text;
    if (!a.valid) continue;
    EXPECT_EQ(automatic, a.automatic) << a.text;
    EXPECT_EQ(backend, a.backend) << a.text;
  }
  struct Detected {
    const char* serverName;
    bool pipewireAnswers;
    audio::AudioBackend backend;
  };
  const Detected detected[] = {{"PulseAudio (on PipeWire 0.3.65)", true, audio::AudioBackend::kPipeWire},
                               {"PulseAudio (on PipeWire 1.2.4)", false, audio::AudioBackend::kPipeWire},
                               {"pulseaudio", true, audio::AudioBackend::kPulse},
                               {"", true, audio::AudioBackend::kPipeWire},
                               {"", false, audio::AudioBackend::kPulse}};
  for (const Detected& d : detected)
    EXPECT_EQ(audio::DetectAudioBackend(d.serverName, d.pipewireAnswers), d.backend) << d.serverName;
}

}  // namespace
