// The audio-server backends against a private PulseAudio server.
#ifdef TONVEX_SERVER_TESTS
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
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

  // A null sink renders up to two seconds ahead until a stream asks for less; what is played into a sink
  // made a moment ago comes out of its monitor only after that time.
  static void LetNewSinksSettle() { std::this_thread::sleep_for(std::chrono::milliseconds(2100)); }

  static PrivateServer* server_;
  std::shared_ptr<platform::Event> event_;
};
PrivateServer* PulseBackendTest::server_ = nullptr;

// Plays a 1 kHz tone of `seconds` into one output device in 10 ms buffers, 16-bit stereo 44.1 kHz.
struct Player {
  static constexpr int kRate = 44100, kFrames = 441, kBuffers = 8;
  explicit Player(double amplitude = 0.5) : amplitude(amplitude) {
    for (auto& buffer : storage) buffer.resize(kFrames * 4);
    for (int i = 0; i < kBuffers; ++i) headers[i].data = storage[i].data();
  }
  static engine::WaveFormat Format() {
    engine::WaveFormat format;
    format.formatTag = engine::kWaveFormatPcm;
    format.channels = 2;
    format.samplesPerSec = kRate;
    format.bitsPerSample = 16;
    format.blockAlign = 4;
    format.avgBytesPerSec = kRate * 4;
    return format;
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
    for (int i = 0; i < kFrames; ++i) {
      const double t = double(block * kFrames + i) / kRate;
      samples[2 * i] = samples[2 * i + 1] = int16_t(std::lrint(amplitude * 32767 * std::sin(2 * M_PI * 1000 * t)));
    }
    header.bufferLength = kFrames * 4;
  }
  double amplitude;
  std::array<std::vector<uint8_t>, kBuffers> storage;
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

// Reads the driver as the capture thread would, for a while or until `stopAfterStop`.
struct Capture {
  std::vector<uint32_t> answers;  // every non-zero answer in order
  std::vector<int16_t> samples;
  void Read(engine::IDriverDevice& device, platform::Event& event, double seconds, bool untilStop) {
    std::vector<uint8_t> block(engine::kMaxBlockBytes);
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
      event.Wait(10);
      uint32_t bytes = 0, error = 0;
      ASSERT_TRUE(device.Control(engine::kRequestReadBlock, block.data(), uint32_t(block.size()), &bytes, &error));
      if (bytes == 0) continue;
      answers.push_back(bytes);
      if (bytes > 2) {
        const size_t at = samples.size();
        samples.resize(at + bytes / 2);
        std::memcpy(samples.data() + at, block.data(), bytes);
      }
      if (untilStop && bytes == engine::kReadStopped) return;
    }
  }
};

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
    auto second = opener.Open(engine::kDriverDeviceName);
    ASSERT_NE(second, nullptr);
    std::vector<platform::PulseSink> sinks;
    ASSERT_TRUE(platform::ListSinks(probe, &sinks));
    EXPECT_EQ(std::count_if(sinks.begin(), sinks.end(),
                            [](auto& s) { return s.description == engine::kVirtualDeviceName; }),
              1);
    second.reset();
    EXPECT_TRUE(platform::FindSinkByDescription(probe, engine::kVirtualDeviceName, &sink));
  }
  EXPECT_FALSE(platform::FindSinkByDescription(probe, engine::kVirtualDeviceName, &sink));

  // A sink somebody else made is used and left in place.
  ASSERT_TRUE(PrivateServer::Pactl(
      "load-module module-null-sink \"sink_name=theirs sink_properties='device.description=\\\"Tonvex "
      "(Brevalto)\\\"'\" >/dev/null"));
  {
    audio::PulseDriverOpener opener;
    auto device = opener.Open(engine::kDriverDeviceName);
    ASSERT_NE(device, nullptr);
  }
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

  LetNewSinksSettle();

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Capture capture;
    std::thread reader([&] { capture.Read(*device, *event_, 4.0, true); });
    { VirtualSinkTone tone(0.5); }
    reader.join();

    ASSERT_FALSE(capture.answers.empty());
    EXPECT_EQ(capture.answers.front(), engine::kReadFormatChanged);
    EXPECT_EQ(capture.answers.back(), engine::kReadStopped);
    ASSERT_TRUE(device->Control(engine::kRequestReadFormat, &format, sizeof format, &bytes, &error));
    EXPECT_EQ(bytes, 12u);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.samplesPerSec, 44100u);
    EXPECT_EQ(format.blockBytes, 441u * 4);
    for (size_t i = 1; i + 1 < capture.answers.size(); ++i) {
      EXPECT_GT(capture.answers[i], 2u);
      EXPECT_LE(capture.answers[i], format.blockBytes);
      EXPECT_EQ(capture.answers[i] % 4, 0u);
    }
    // Most of the tone came through, at the level it was played.
    EXPECT_GT(capture.samples.size(), size_t(0.8 * 44100) * 2 * 0.5);
    int peak = 0;
    for (int16_t s : capture.samples) peak = std::max(peak, std::abs(int(s)));
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
  engine::WaveFormat odd = Player::Format();
  odd.bitsPerSample = 12;
  EXPECT_EQ(outputs.Open(unsigned(speakers), odd, &stream), engine::kWaveBadFormat);
  odd = Player::Format();
  odd.blockAlign = 3;
  EXPECT_EQ(outputs.Open(unsigned(speakers), odd, &stream), engine::kWaveBadFormat);

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
  engine::WaveHeader header;
  std::vector<uint8_t> data(1764);
  header.data = data.data();
  header.bufferLength = 1764;
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

TEST_F(PulseBackendTest, AStreamWhoseSinkGoesMovesByTheRuleAndComesBackWithIt) {
  audio::PulseWaveOutSystem outputs;
  ASSERT_TRUE(outputs.Start(3000));
  outputs.SetStartDefault("speakers");
  const std::string load = "load-module module-null-sink sink_name=doomed sink_properties=device.description=Doomed";
  std::string module = PrivateServer::PactlOutput(load);
  ASSERT_FALSE(module.empty());
  ASSERT_GE(IndexOf(outputs, "Doomed"), 0);
  std::unique_ptr<engine::IWaveOutStream> opened;
  ASSERT_EQ(outputs.OpenNamed("Doomed", Player::Format(), &opened), engine::kMmNoError);
  auto& stream = dynamic_cast<audio::PulseWaveOutStream&>(*opened);
  auto sinkBecomes = [&](const std::string& sink) {
    for (int wait = 0; wait < 300 && stream.SinkName() != sink; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return stream.SinkName();
  };
  Player player;
  double seconds = 0;
  std::thread playing([&] { seconds = player.Play(stream, 200); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(PrivateServer::Pactl("unload-module " + module.substr(0, module.find('\n'))));
  EXPECT_EQ(sinkBecomes("speakers"), "speakers") << "the default at start, not the server's choice";
  playing.join();
  EXPECT_LT(seconds, 4.0) << "no buffer stays with the vanished sink";
  engine::WaveHeader late;
  std::vector<uint8_t> data(1764);
  late.data = data.data();
  late.bufferLength = 1764;
  stream.Prepare(late);
  EXPECT_EQ(stream.Write(late), engine::kMmNoError) << "it plays on";

  module = PrivateServer::PactlOutput(load);
  EXPECT_EQ(sinkBecomes("doomed"), "doomed") << "back on its own sink when it returns";
  EXPECT_EQ(stream.Reset(), engine::kMmNoError);
  EXPECT_EQ(stream.Close(), engine::kMmNoError);
  PrivateServer::Pactl("unload-module " + module.substr(0, module.find('\n')));
}

TEST_F(PulseBackendTest, DriverAndOutputStreamOutliveTheServerAndStartAgainAfterIt) {
  auto device = std::make_unique<audio::PulseDriverDevice>();
  ASSERT_TRUE(device->Start(3000));
  uint32_t bytes = 0, error = 0;
  ASSERT_TRUE(device->Control(engine::kRequestRegisterEvent, nullptr, 0, &bytes, &error));
  audio::PulseWaveOutSystem outputs;
  ASSERT_TRUE(outputs.Start(3000));
  std::unique_ptr<engine::IWaveOutStream> opened;
  ASSERT_EQ(outputs.OpenNamed("Speakers", Player::Format(), &opened), engine::kMmNoError);
  auto& stream = dynamic_cast<audio::PulseWaveOutStream&>(*opened);
  LetNewSinksSettle();
  {
    VirtualSinkTone tone(3.0);
    Capture before;
    before.Read(*device, *event_, 0.5, false);
    ASSERT_FALSE(before.answers.empty());
    EXPECT_EQ(before.answers.front(), engine::kReadFormatChanged);

    server_->Stop();
    Capture gone;
    gone.Read(*device, *event_, 1.0, false);
    ASSERT_FALSE(gone.answers.empty());
    EXPECT_EQ(gone.answers.back(), engine::kReadStopped);
    EXPECT_FALSE(device->SinkPresent());
    EXPECT_EQ(stream.SinkName(), "") << "no server, no sink";
  }

  ASSERT_TRUE(server_->Start());
  for (int wait = 0; wait < 300 && !device->SinkPresent(); ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(device->SinkPresent()) << "the driver reconnects and makes its sink again";
  for (int wait = 0; wait < 300 && stream.SinkName().empty(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(stream.SinkName(), "speakers") << "the output stream plays on the new server's sink";
  Player player;
  EXPECT_GT(player.Play(stream, 10), 0.05) << "and takes buffers again";
  LetNewSinksSettle();
  Capture after;
  {
    VirtualSinkTone again(0.5);
    after.Read(*device, *event_, 1.5, false);
  }
  ASSERT_FALSE(after.answers.empty());
  EXPECT_EQ(after.answers.front(), engine::kReadFormatChanged) << "streaming starts again with a format report";
  EXPECT_GT(after.samples.size(), 44100u * 2 / 4);
}

}  // namespace
#endif
