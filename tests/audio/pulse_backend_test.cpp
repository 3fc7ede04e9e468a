// The audio-server backends against a private PulseAudio server.
#ifdef TONVEX_SERVER_TESTS
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <tuple>
#include <thread>
#include <vector>

#include "audio/pulse_driver.h"
#include "audio/pulse_wave_out.h"
#include "platform/event.h"
#include "platform/pulse_sinks.h"
#include "tests/audio/private_server.h"

namespace {

using audio_test::PrivateServer;
using Clock = std::chrono::steady_clock;

class PulseBackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new PrivateServer();
    if (!PrivateServer::Available() || !server_->Start()) {
      delete server_;
      server_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << "no private PulseAudio server could be started";
    event_ = platform::CreateNamedEvent(engine::kDriverEventName, platform::Event::Mode::ManualReset, false);
  }

  static int IndexOf(audio::PulseWaveOutSystem& outputs, const std::string& description) {
    for (int wait = 0; wait < 200; ++wait) {
      for (unsigned i = 0; i < outputs.DeviceCount(); ++i) {
        std::string name;
        if (outputs.DeviceName(i, &name) == engine::kMmNoError && name == description) return int(i);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  static PrivateServer* server_;
  std::shared_ptr<platform::Event> event_;
};
PrivateServer* PulseBackendTest::server_ = nullptr;

// Plays a 1 kHz tone into one output device in 10 ms buffers, 16-bit stereo 44.1 kHz.
struct Player {
  static constexpr int kRate = 44100, kFrames = 441, kBuffers = 8;
  Player() {
    for (int i = 0; i < kBuffers; ++i) headers[i].data = storage[i].data();
  }
  static engine::WaveFormat Format(uint16_t bits = 16, uint16_t blockAlign = 4) {
    return {engine::kWaveFormatPcm, 2, kRate, kRate * 4u, blockAlign, bits};
  }
  // Keeps up to kBuffers queued; returns the time from the first write until the last buffer was done.
  double Play(engine::IWaveOutStream& stream, int blocks) {
    int written = 0, finished = 0;
    const auto begin = Clock::now();
    while (finished < blocks && Clock::now() - begin < std::chrono::seconds(10)) {
      for (int i = 0; i < kBuffers; ++i) {
        engine::WaveHeader& header = headers[i];
        const uint32_t flags = header.flags.load();
        if ((flags & engine::kHeaderPrepared) && !(flags & engine::kHeaderDone)) continue;
        if (flags & engine::kHeaderDone) {
          stream.Unprepare(header);
          header.flags = 0;
          ++finished;
        }
        if (written < blocks) {
          Fill(header, written++);
          stream.Prepare(header);
          // A refused buffer is recycled, as the engine does.
          if (stream.Write(header) != engine::kMmNoError) header.flags = header.flags | engine::kHeaderDone;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::chrono::duration<double>(Clock::now() - begin).count();
  }
  void Fill(engine::WaveHeader& header, int block) {
    auto* samples = reinterpret_cast<int16_t*>(header.data);
    for (int i = 0; i < kFrames; ++i)
      samples[2 * i] = samples[2 * i + 1] = int16_t(16383 * std::sin(2 * M_PI * 1000 * (block * kFrames + i) / kRate));
    header.bufferLength = kFrames * 4;
  }
  std::array<std::array<uint8_t, kFrames * 4>, kBuffers> storage;
  std::array<engine::WaveHeader, kBuffers> headers;
};

// Plays a 1 kHz tone (amplitude 0.5, 44.1 kHz 16-bit stereo) into the virtual sink from another process: the
// program's own output streams never play there. Ends early when the server goes.
struct VirtualSinkTone {
  explicit VirtualSinkTone(double seconds)
      : thread([seconds] {
          std::system(("sox -q -n -r 44100 -c 2 -b 16 -t raw - synth " + std::to_string(seconds) +
                       " sine 1000 vol 0.5 | pacat -d tonvex_brevalto --rate=44100 --channels=2 --format=s16le "
                       "--latency-msec=20 2>/dev/null")
                          .c_str());
        }) {}
  ~VirtualSinkTone() { thread.join(); }
  std::thread thread;
};

// Reads the driver as the capture thread would until it reports a stop: every non-zero answer in order,
// and the samples.
void ReadUntilStop(engine::IDriverDevice& device, platform::Event& event, std::vector<uint32_t>* answers,
                   std::vector<int16_t>* samples) {
  std::vector<uint8_t> block(engine::kMaxBlockBytes);
  for (const auto end = Clock::now() + std::chrono::seconds(4); Clock::now() < end;) {
    event.Wait(10);
    uint32_t bytes = 0, error = 0;
    ASSERT_TRUE(device.Control(engine::kRequestReadBlock, block.data(), uint32_t(block.size()), &bytes, &error));
    if (bytes == 0) continue;
    answers->push_back(bytes);
    if (bytes == engine::kReadStopped) return;
    const auto* first = reinterpret_cast<const int16_t*>(block.data());
    if (bytes > 2) samples->insert(samples->end(), first, first + bytes / 2);
  }
}

TEST_F(PulseBackendTest, TheDriverLoadsTheVirtualSinkOnceAndRemovesOnlyWhatItLoaded) {
  platform::PulseConnection probe("probe", {});
  ASSERT_TRUE(probe.Start() && probe.WaitReady(3000));
  platform::PulseSink sink;
  EXPECT_FALSE(platform::FindSinkByDescription(probe, engine::kVirtualDeviceName, &sink));
  {
    audio::PulseDriverOpener opener;
    EXPECT_EQ(opener.Open("\\\\.\\Other"), nullptr);
    auto device = opener.Open(engine::kDriverDeviceName);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(platform::FindSinkByDescription(probe, engine::kVirtualDeviceName, &sink));
    // A second driver finds the sink there and loads nothing.
    ASSERT_NE(opener.Open(engine::kDriverDeviceName), nullptr);
    std::vector<platform::PulseSink> sinks;
    ASSERT_TRUE(platform::ListSinks(probe, &sinks));
    EXPECT_EQ(std::count_if(sinks.begin(), sinks.end(),
                            [](auto& s) { return s.description == engine::kVirtualDeviceName; }),
              1);
    EXPECT_TRUE(platform::FindSinkByDescription(probe, engine::kVirtualDeviceName, &sink));
  }
  EXPECT_FALSE(platform::FindSinkByDescription(probe, engine::kVirtualDeviceName, &sink));

  // A sink somebody else made is used and left in place.
  ASSERT_TRUE(PrivateServer::Pactl(
      "load-module module-null-sink \"sink_name=theirs sink_properties='device.description=\\\"Tonvex "
      "(Brevalto)\\\"'\" >/dev/null"));
  ASSERT_NE(audio::PulseDriverOpener().Open(engine::kDriverDeviceName), nullptr);
  ASSERT_TRUE(platform::FindSinkByDescription(probe, engine::kVirtualDeviceName, &sink));
  EXPECT_EQ(sink.name, "theirs");
  PrivateServer::Pactl("unload-module module-null-sink >/dev/null 2>&1");  // takes Speakers too: restart
  server_->Stop();
  ASSERT_TRUE(server_->Start());
}

TEST_F(PulseBackendTest, PlaybackIntoTheVirtualSinkArrivesAsFormatDataAndStop) {
  audio::PulseDriverOpener opener;
  auto device = opener.Open(engine::kDriverDeviceName);
  ASSERT_NE(device, nullptr);
  uint32_t bytes = 0, error = 0;
  ASSERT_TRUE(device->Control(engine::kRequestRegisterEvent, nullptr, 0, &bytes, &error));
  engine::StreamFormat format;
  EXPECT_FALSE(device->Control(engine::kRequestReadFormat, &format, sizeof format, &bytes, &error));
  EXPECT_EQ(error, engine::kErrorNoAccess) << "no format before anything played";

  // A null sink renders up to two seconds ahead until a stream asks for less; what is played into a sink
  // made a moment ago comes out of its monitor only after that time.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));

  for (int round = 0; round < 2; ++round) {  // the second stream starts with a format report again
    SCOPED_TRACE(round);
    std::vector<uint32_t> answers;
    std::vector<int16_t> samples;
    std::thread reader([&] { ReadUntilStop(*device, *event_, &answers, &samples); });
    { VirtualSinkTone tone(0.5); }
    reader.join();

    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers.front(), engine::kReadFormatChanged);
    EXPECT_EQ(answers.back(), engine::kReadStopped);
    ASSERT_TRUE(device->Control(engine::kRequestReadFormat, &format, sizeof format, &bytes, &error));
    EXPECT_EQ(bytes, 12u);
    EXPECT_EQ(std::tuple(format.channels, format.bitsPerSample, format.samplesPerSec, format.blockBytes),
              std::tuple(2, 16, 44100u, 441u * 4));
    for (size_t i = 1; i + 1 < answers.size(); ++i)
      EXPECT_TRUE(answers[i] > 2 && answers[i] <= format.blockBytes && answers[i] % 4 == 0) << answers[i];
    // Most of the tone came through, at the level it was played.
    EXPECT_GT(samples.size(), size_t(0.8 * 44100) * 2 * 0.5);
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    EXPECT_NEAR(peak, 0.5 * 32767, 400);
  }
}

TEST_F(PulseBackendTest, OutputDevicesAreTheSinksByDescriptionWithTheirErrors) {
  audio::PulseWaveOutSystem outputs;
  ASSERT_TRUE(outputs.Start(3000));
  const int speakers = IndexOf(outputs, "Speakers");
  ASSERT_GE(speakers, 0);
  std::string name;
  EXPECT_EQ(outputs.DeviceName(outputs.DeviceCount(), &name), engine::kMmBadDeviceId);
  std::unique_ptr<engine::IWaveOutStream> stream;
  EXPECT_EQ(outputs.Open(outputs.DeviceCount(), Player::Format(), &stream), engine::kMmBadDeviceId);
  EXPECT_EQ(outputs.Open(unsigned(speakers), Player::Format(12), &stream), engine::kWaveBadFormat);
  EXPECT_EQ(outputs.Open(unsigned(speakers), Player::Format(16, 3), &stream), engine::kWaveBadFormat);

  EXPECT_EQ(outputs.OpenNamed(engine::kVirtualDeviceName, Player::Format(), &stream), engine::kMmBadDeviceId)
      << "the program never plays into its own virtual device";

  ASSERT_EQ(outputs.Open(unsigned(speakers), Player::Format(), &stream), engine::kMmNoError);
  EXPECT_EQ(stream->SetVolume(0), engine::kMmNoError);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(PrivateServer::PactlOutput("list sink-inputs"), "") << "a stream that plays nothing touches no sink";
  EXPECT_EQ(stream->SetVolume(0xFFFFFFFF), engine::kMmNoError);
  Player player;
  const double seconds = player.Play(*stream, 50);  // half a second
  EXPECT_GT(seconds, 0.4) << "buffers are done when played, not when sent";
  EXPECT_LT(seconds, 1.5);
  engine::WaveHeader& header = player.headers[0];
  EXPECT_EQ(stream->Write(header), engine::kWaveUnprepared);
  EXPECT_EQ(stream->Reset(), engine::kMmNoError);  // the next write starts a fresh stream, whose clock is at 0
  ASSERT_EQ(stream->Prepare(header), engine::kMmNoError);
  ASSERT_EQ(stream->Write(header), engine::kMmNoError);
  EXPECT_EQ(stream->Unprepare(header), engine::kWaveStillPlaying);
  EXPECT_EQ(stream->Close(), engine::kWaveStillPlaying);
  // The wave volume is the stream's own volume, linear per channel (half on the left, a quarter on the right),
  // and the mixer volume a factor on it (50 % of the range: -18.06 dB); the sink's own volume stays.
  EXPECT_EQ(stream->SetVolume(0x40007FFF), engine::kMmNoError);
  ASSERT_TRUE(outputs.SetMixerVolume(unsigned(speakers), 50));
  std::string inputs;
  for (int wait = 0; wait < 100; ++wait) {
    inputs = PrivateServer::PactlOutput("list sink-inputs");
    if (inputs.find("-30.10 dB") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_NE(inputs.find("front-left: "), std::string::npos) << inputs;
  EXPECT_NE(inputs.find("-24.08 dB"), std::string::npos) << inputs;
  EXPECT_NE(inputs.find("-30.10 dB"), std::string::npos) << inputs;
  EXPECT_NE(PrivateServer::PactlOutput("get-sink-volume speakers").find(" 100% "), std::string::npos);
  ASSERT_TRUE(outputs.SetMixerVolume(unsigned(speakers), 100));
  EXPECT_EQ(stream->Reset(), engine::kMmNoError);
  EXPECT_TRUE(header.flags & engine::kHeaderDone);
  EXPECT_EQ(stream->Unprepare(header), engine::kMmNoError);
  EXPECT_EQ(stream->Close(), engine::kMmNoError);
}

}  // namespace
#endif
