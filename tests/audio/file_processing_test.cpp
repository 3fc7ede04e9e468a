#include "tools/file_processing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "tests/audio/sound_files.h"
#include "tools/cli_arguments.h"

namespace {

using audio_test::ReadSound;
using audio_test::ScratchDir;
using audio_test::TestSignal;
using audio_test::WriteSound;

struct FileCase {
  const char* name;
  int format;
  int rate;
  int channels;
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

std::vector<std::vector<double>> ParseCsv(const std::string& text, std::string* header) {
  std::istringstream lines(text);
  std::getline(lines, *header);
  std::vector<std::vector<double>> rows;
  for (std::string line; std::getline(lines, line);) {
    std::vector<double> row;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, ',');) row.push_back(std::stod(field));
    rows.push_back(row);
  }
  return rows;
}

std::string Analyze(const std::string& path, int side, int frames, bool amplificator = false) {
  engine::ProcessingParameters parameters;
  cli::ProcessingOptions options;
  options.amplificator = amplificator;
  cli::ApplyProcessingOptions(options, parameters);
  char* text = nullptr;
  size_t size = 0;
  std::FILE* csv = open_memstream(&text, &size);
  cli::AnalyzeFile(path, side, frames, parameters, csv);
  std::fclose(csv);
  std::string result(text, size);
  std::free(text);
  return result;
}

TEST(AnalyzeTest, BandsAndPeakOfAToneAtKnownLevelsPerSide) {
  ScratchDir dir;
  const int rate = 48000;
  std::vector<double> samples(size_t(rate) * 2);
  for (int i = 0; i < rate; ++i) {
    samples[size_t(i) * 2] = 0.1 * std::sin(2 * M_PI * 1000.0 * i / rate);     // -20 dBFS peak: 76 dB SPL
    samples[size_t(i) * 2 + 1] = 0.5 * std::sin(2 * M_PI * 400.0 * i / rate);  // 90 dB SPL peak
  }
  const std::string path = dir.File("tones.wav");
  ASSERT_TRUE(WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, 2, samples));

  std::string header;
  const auto left = ParseCsv(Analyze(path, engine::kSideLeft, 2048), &header);
  EXPECT_EQ(header, "time_s,b25,b63,b160,b400,b1000,b2500,b6300,b16000,total");
  ASSERT_EQ(left.size(), size_t((rate + 2047) / 2048));
  const auto right = ParseCsv(Analyze(path, engine::kSideRight, 2048), &header);
  const auto both = ParseCsv(Analyze(path, engine::kSideBoth, 2048), &header);
  const auto amplified = ParseCsv(Analyze(path, engine::kSideLeft, 2048, true), &header);
  const size_t row = 3;
  ASSERT_TRUE(right.size() > row && both.size() > row && amplified.size() > row && left[row].size() == 10);
  EXPECT_NEAR(left[row][0], row * 2048.0 / rate, 1e-6);
  EXPECT_NEAR(left[row][5], 73.0, 1.0) << "1 kHz band of a 0.1 sine: mean power -23 dBFS";
  EXPECT_NEAR(left[row][9], 76.0, 0.1);
  EXPECT_NEAR(right[row][4], 87.0, 2.0);
  EXPECT_NEAR(right[row][9], 90.0, 0.1);
  // Both sides: the mean of the two sides' band levels in dB and the larger peak.
  for (int band = 1; band <= 8; ++band) EXPECT_NEAR(both[row][band], (left[row][band] + right[row][band]) / 2, 0.011);
  EXPECT_NEAR(both[row][9], 90.0, 0.1);
  EXPECT_NEAR(amplified[row][5], left[row][5] + 20, 0.011) << "the amplifier moves every level up by 20 dB";
}

}  // namespace
