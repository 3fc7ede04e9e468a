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
          if (stream.Write(header) != engine::kMmNoError) return -1;
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

  audio::PulseWaveOutSystem outputs;
  ASSERT_TRUE(outputs.Start(3000));
  const int virtualIndex = IndexOf(outputs, engine::kVirtualDeviceName);
  ASSERT_GE(virtualIndex, 0);
  LetNewSinksSettle();

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    std::unique_ptr<engine::IWaveOutStream> stream;
    ASSERT_EQ(outputs.Open(unsigned(virtualIndex), Player::Format(), &stream), engine::kMmNoError);
    Capture capture;
    std::thread reader([&] { capture.Read(*device, *event_, 4.0, true); });
    Player player;
    const double seconds = player.Play(*stream, 50);  // half a second
    EXPECT_GT(seconds, 0.4) << "buffers are done when played, not when sent";
    EXPECT_LT(seconds, 1.5);
    EXPECT_EQ(stream->Close(), engine::kMmNoError);
    stream.reset();
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

  ASSERT_TRUE(outputs.SetMixerVolume(unsigned(speakers), 50));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_NE(PrivateServer::PactlOutput("get-sink-volume speakers").find("50%"), std::string::npos);
  ASSERT_TRUE(outputs.SetMixerVolume(unsigned(speakers), 100));
  EXPECT_FALSE(outputs.SetMixerVolume(outputs.DeviceCount(), 100));

  ASSERT_EQ(outputs.Open(unsigned(speakers), Player::Format(), &stream), engine::kMmNoError);
  engine::WaveHeader header;
  std::vector<uint8_t> data(1764);
  header.data = data.data();
  header.bufferLength = 1764;
  EXPECT_EQ(stream->Write(header), engine::kWaveUnprepared);
  ASSERT_EQ(stream->Prepare(header), engine::kMmNoError);
  ASSERT_EQ(stream->Write(header), engine::kMmNoError);
  EXPECT_EQ(stream->Unprepare(header), engine::kWaveStillPlaying);
  EXPECT_EQ(stream->Close(), engine::kWaveStillPlaying);
  EXPECT_EQ(stream->Reset(), engine::kMmNoError);
  EXPECT_TRUE(header.flags & engine::kHeaderDone);
  EXPECT_EQ(stream->Unprepare(header), engine::kMmNoError);
  // The wave volume is the stream's own volume, linear per channel: half on the left, a quarter on the right.
  EXPECT_EQ(stream->SetVolume(0x40007FFF), engine::kMmNoError);
  std::string inputs;
  for (int wait = 0; wait < 100; ++wait) {
    inputs = PrivateServer::PactlOutput("list sink-inputs");
    if (inputs.find("-6.02 dB") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_NE(inputs.find("front-left: "), std::string::npos) << inputs;
  EXPECT_NE(inputs.find("-6.02 dB"), std::string::npos) << inputs;
  EXPECT_NE(inputs.find("-12.04 dB"), std::string::npos) << inputs;
  EXPECT_EQ(stream->Close(), engine::kMmNoError);
}

TEST_F(PulseBackendTest, ASinkThatDisappearsWhileOpenFailsItsStreamWithoutHanging) {
  audio::PulseWaveOutSystem outputs;
  ASSERT_TRUE(outputs.Start(3000));
  const std::string module = PrivateServer::PactlOutput(
      "load-module module-null-sink sink_name=doomed sink_properties=device.description=Doomed");
  ASSERT_FALSE(module.empty());
  const int doomed = IndexOf(outputs, "Doomed");
  ASSERT_GE(doomed, 0);
  const unsigned before = outputs.DeviceCount();
  std::unique_ptr<engine::IWaveOutStream> stream;
  ASSERT_EQ(outputs.Open(unsigned(doomed), Player::Format(), &stream), engine::kMmNoError);
  Player player;
  std::thread playing([&] { player.Play(*stream, 300); });  // three seconds, cut short below
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(PrivateServer::Pactl("unload-module " + module.substr(0, module.find('\n'))));
  playing.join();  // Play ends when a write is refused
  for (auto& header : player.headers) {
    const uint32_t flags = header.flags.load();
    EXPECT_TRUE(!(flags & engine::kHeaderInQueue) || (flags & engine::kHeaderDone));
  }
  engine::WaveHeader late;
  std::vector<uint8_t> data(1764);
  late.data = data.data();
  late.bufferLength = 1764;
  stream->Prepare(late);
  EXPECT_NE(stream->Write(late), engine::kMmNoError);
  EXPECT_EQ(stream->Close(), engine::kMmNoError);
  for (int wait = 0; wait < 100 && outputs.DeviceCount() == before; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(outputs.DeviceCount(), before - 1);
}

TEST_F(PulseBackendTest, TheDriverAnswersAsStoppedWhileTheServerIsGoneAndStartsAgainAfterIt) {
  auto device = std::make_unique<audio::PulseDriverDevice>();
  ASSERT_TRUE(device->Start(3000));
  uint32_t bytes = 0, error = 0;
  ASSERT_TRUE(device->Control(engine::kRequestRegisterEvent, nullptr, 0, &bytes, &error));
  audio::PulseWaveOutSystem outputs;
  ASSERT_TRUE(outputs.Start(3000));
  int index = IndexOf(outputs, engine::kVirtualDeviceName);
  ASSERT_GE(index, 0);
  LetNewSinksSettle();
  std::unique_ptr<engine::IWaveOutStream> stream;
  ASSERT_EQ(outputs.Open(unsigned(index), Player::Format(), &stream), engine::kMmNoError);
  Player player;
  std::thread playing([&] { player.Play(*stream, 400); });
  Capture before;
  before.Read(*device, *event_, 0.5, false);
  ASSERT_FALSE(before.answers.empty());
  EXPECT_EQ(before.answers.front(), engine::kReadFormatChanged);

  server_->Stop();
  Capture gone;
  gone.Read(*device, *event_, 1.0, false);
  playing.join();
  stream.reset();
  ASSERT_FALSE(gone.answers.empty());
  EXPECT_EQ(gone.answers.back(), engine::kReadStopped);
  EXPECT_FALSE(device->SinkPresent());

  ASSERT_TRUE(server_->Start());
  for (int wait = 0; wait < 300 && !device->SinkPresent(); ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(device->SinkPresent()) << "the driver reconnects and makes its sink again";
  index = IndexOf(outputs, engine::kVirtualDeviceName);
  ASSERT_GE(index, 0) << "the output list follows the new server";
  LetNewSinksSettle();
  ASSERT_EQ(outputs.Open(unsigned(index), Player::Format(), &stream), engine::kMmNoError);
  Player again;
  std::thread replaying([&] { again.Play(*stream, 50); });
  Capture after;
  after.Read(*device, *event_, 1.5, false);
  replaying.join();
  ASSERT_FALSE(after.answers.empty());
  EXPECT_EQ(after.answers.front(), engine::kReadFormatChanged) << "streaming starts again with a format report";
  EXPECT_GT(after.samples.size(), 44100u * 2 / 4);
}

}  // namespace
#endif
