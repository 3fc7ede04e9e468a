#include "tools/file_processing.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/audio/sound_files.h"
#include "tools/cli_arguments.h"

namespace {

using namespace audio_test;

struct FileCase {
  const char* name;
  int format, rate, channels;
  double tolerance;  // what the output format's quantisation allows
};

const FileCase kCases[] = {
    {"u8_mono_8k", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1, 2.5 / 128},
    {"s16_mono_22k_flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 1, 2.5 / 32768},
    {"s24_stereo_96k", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 2, 2.5 / 8388608},
    {"float_stereo_48k", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, 1e-6},
    {"double_mono_16k", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 16000, 1, 1e-9},
};

class RenderFormatTest : public ::testing::TestWithParam<FileCase> {};

// With flat settings the chain passes the sound unchanged, so the output must be the input, in the
// input's format, down to the format's quantisation: a wrong sample conversion, block split or header
// shows. (The file engine test checks the processing itself against the live engine.)
TEST_P(RenderFormatTest, FlatSettingsGiveTheInputBackInItsOwnFormat) {
  const FileCase& c = GetParam();
  ScratchDir dir;
  const int frames = c.rate / 2 + 37;  // half a second and a partial block
  const std::string in = dir.File("in"), out = dir.File("out");
  ASSERT_TRUE(WriteSound(in, c.format, c.rate, c.channels, TestSignal(c.rate, c.channels, frames)));
  engine::ProcessingParameters parameters;
  cli::ApplyProcessingOptions(cli::ProcessingOptions{}, parameters);
  cli::RenderFile(in, out, parameters);
  SF_INFO inInfo, outInfo;
  const std::vector<double> input = ReadSound(in, &inInfo);
  const std::vector<double> output = ReadSound(out, &outInfo);
  EXPECT_EQ(outInfo.format, c.format);
  EXPECT_EQ(outInfo.samplerate, c.rate);
  EXPECT_EQ(outInfo.channels, c.channels);
  ASSERT_EQ(output.size(), input.size());
  double largest = 0;
  for (size_t i = 0; i < input.size(); ++i) largest = std::max(largest, std::fabs(input[i] - output[i]));
  EXPECT_LE(largest, std::max(c.tolerance, 1e-6));
}

INSTANTIATE_TEST_SUITE_P(Formats, RenderFormatTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

}  // namespace
