// The whole engine between the file driver and the file output: a file played through the protocol comes
// out of the sound card side as the renderer would write it.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "audio/wav_file_driver.h"
#include "audio/wav_file_output.h"
#include "engine/dsp_main.h"
#include "tests/audio/sound_files.h"
#include "tools/cli_arguments.h"
#include "tools/file_processing.h"

namespace {

using audio_test::ReadSound;
using audio_test::ScratchDir;

class CollectingReporter : public engine::IEngineReporter {
 public:
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::vector<std::string> errors;
};

TEST(FileEngineTest, TheLiveEngineOnFilesMatchesTheRenderer) {
  ScratchDir dir;
  const int rate = 44100, frames = rate;  // one second
  std::vector<double> samples = audio_test::TestSignal(rate, 2, frames);
  const std::string in = dir.File("in.wav"), rendered = dir.File("rendered.wav");
  ASSERT_TRUE(audio_test::WriteSound(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 2, samples));

  cli::ProcessingOptions options;
  options.volumeDb[0] = -2;
  options.limitDbSpl[1] = 92;
  engine::ProcessingParameters renderParameters;
  cli::ApplyProcessingOptions(options, renderParameters);
  cli::RenderFile(in, rendered, renderParameters);

  // At a sound card's pace, as the engine expects its devices. A machine loaded far beyond its cores can
  // still starve the engine's threads, which then drop blocks as they must: such a run is repeated.
  constexpr double kSpeed = 1.0;
  CollectingReporter reporter;
  std::string played;
  unsigned dropped = 1;
  for (int attempt = 0; attempt < 3 && dropped; ++attempt) {
    played = dir.File(std::string("played").append(std::to_string(attempt)).append(".wav"));
    audio::WavFileDriverOpener driver(in, kSpeed);
    audio::WavFileWaveOutSystem output(played, kSpeed);
    engine::ProcessingParameters parameters;
    cli::ApplyProcessingOptions(options, parameters);
    {
      engine::CDspMain dsp(driver, output, reporter, parameters);
      dsp.Output().SelectDevice(0);
      dsp.Start();
      ASSERT_NE(driver.Device(), nullptr) << driver.Error();
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!driver.Device()->Finished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      EXPECT_TRUE(driver.Device()->Finished());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const auto stats = dsp.Output().Statistics();
      dropped = stats.blocksSkipped + stats.blocksDroppedBusy;
      dsp.Stop();
    }
    output.Finish();
    EXPECT_EQ(output.MixerPercent(), 100u) << "opening the output sets its mixer to full";
  }
  EXPECT_EQ(dropped, 0u) << "blocks dropped in three runs";
  EXPECT_TRUE(reporter.errors.empty()) << reporter.errors.front();

  SF_INFO info;
  const auto expected = ReadSound(rendered, &info);
  const auto got = ReadSound(played, &info);
  ASSERT_EQ(info.channels, 2);
  ASSERT_EQ(info.samplerate, rate);
  // The queue regulation inserts silent buffers (whole blocks of exact zeros) while the queue fills up;
  // the signal itself never has a block of exact silence, so those are taken out before comparing. The
  // stop report resets the output, which drops the few buffers still queued at the very end.
  constexpr size_t kBlockSamples = 441 * 2;
  std::vector<double> sound;
  size_t inserted = 0;
  for (size_t i = 0; i < got.size();) {
    size_t zeros = 0;
    while (i + zeros < got.size() && got[i + zeros] == 0.0) ++zeros;
    if (zeros >= kBlockSamples) {
      const size_t whole = zeros / kBlockSamples * kBlockSamples;
      inserted += whole / kBlockSamples;
      sound.insert(sound.end(), got.begin() + i + whole, got.begin() + i + zeros);
      i += zeros;
      continue;
    }
    const size_t take = std::min(zeros + 1, got.size() - i);
    sound.insert(sound.end(), got.begin() + i, got.begin() + i + take);
    i += take;
  }
  EXPECT_LE(inserted, 8u) << "silence is only inserted while the queue first fills";
  ASSERT_GE(sound.size(), expected.size() - 8 * kBlockSamples);
  const size_t compared = std::min(expected.size(), sound.size());
  double largest = 0;
  for (size_t i = 0; i < compared; ++i) largest = std::max(largest, std::fabs(sound[i] - expected[i]));
  // The engine scales 16-bit samples by 32767 where the file library uses 32768: a few steps at most.
  EXPECT_LT(largest, 4.0 / 32768);
}

TEST(FileEngineTest, TheFileDriverRefusesWhatTheEngineCannotPlay) {
  ScratchDir dir;
  audio::WavFileDriverOpener missing(dir.File("missing.wav"));
  EXPECT_EQ(missing.Open(engine::kDriverDeviceName), nullptr);
  EXPECT_NE(missing.Error().find("missing.wav"), std::string::npos);
  const std::string surround = dir.File("surround.wav");
  ASSERT_TRUE(audio_test::WriteSound(surround, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 6, std::vector<double>(600)));
  audio::WavFileDriverOpener wide(surround);
  EXPECT_EQ(wide.Open(engine::kDriverDeviceName), nullptr);

  // Wide samples arrive as 32-bit integers at full scale.
  const std::string floats = dir.File("float.wav");
  // Long enough at the sound card's pace that the file is still playing when its blocks are read.
  ASSERT_TRUE(audio_test::WriteSound(floats, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 96000, 1, std::vector<double>(96000, 0.5)));
  auto event = platform::CreateNamedEvent(engine::kDriverEventName, platform::Event::Mode::ManualReset, false);
  audio::WavFileDriverOpener opener(floats, 1.0);
  auto device = opener.Open(engine::kDriverDeviceName);
  ASSERT_NE(device, nullptr);
  uint32_t bytes = 0, error = 0;
  ASSERT_TRUE(device->Control(engine::kRequestRegisterEvent, nullptr, 0, &bytes, &error));
  ASSERT_EQ(event->Wait(1000), platform::kWaitSignalled);
  std::vector<uint8_t> block(engine::kMaxBlockBytes);
  ASSERT_TRUE(device->Control(engine::kRequestReadBlock, block.data(), uint32_t(block.size()), &bytes, &error));
  EXPECT_EQ(bytes, engine::kReadFormatChanged);
  engine::StreamFormat format;
  ASSERT_TRUE(device->Control(engine::kRequestReadFormat, &format, sizeof format, &bytes, &error));
  EXPECT_EQ(bytes, 12u);
  EXPECT_EQ(format.bitsPerSample, 32);
  EXPECT_EQ(format.channels, 1);
  EXPECT_EQ(format.samplesPerSec, 96000u);
  EXPECT_EQ(format.blockBytes, 960u * 4);
  ASSERT_EQ(event->Wait(1000), platform::kWaitSignalled);
  ASSERT_TRUE(device->Control(engine::kRequestReadBlock, block.data(), uint32_t(block.size()), &bytes, &error));
  ASSERT_EQ(bytes, 960u * 4);
  int32_t first;
  std::memcpy(&first, block.data(), 4);
  EXPECT_NEAR(double(first) / 2147483648.0, 0.5, 1e-6);
  EXPECT_FALSE(device->Control(0x1234, block.data(), 16, &bytes, &error));
}

}  // namespace
