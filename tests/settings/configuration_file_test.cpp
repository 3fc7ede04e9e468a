#include <sys/resource.h>
#include <sys/stat.h>

#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <string>

#include "settings/config_file.h"
#include "settings/configuration_io.h"
#include "tests/settings/settings_fixture.h"

namespace {

using settings::CompressorValues;
using settings_test::ReadFile;
using settings_test::StreamContent;
using settings_test::StreamWith;
using settings_test::WriteFile;

const std::string kDefaultCurveList = "25=0.00;63=0.00;160=0.00;400=0.00;1000=0.00;2500=0.00;6300=0.00;16000=0.00;0;";

class ConfigurationFile : public settings_test::SettingsFixture {
 protected:
  void Load(const std::string& text) {
    std::FILE* stream = StreamWith(text);
    settings::LoadConfiguration(stream, model, parameters, prompt);
    std::fclose(stream);
  }
  std::string Store() {
    std::FILE* stream = std::tmpfile();
    settings::StoreConfiguration(stream, model, prompt);
    std::string text = StreamContent(stream);
    std::fclose(stream);
    return text;
  }
  std::string LineOf(const std::string& text, const std::string& key) {
    size_t start = text.find(key + " = ");
    if (start == std::string::npos) return "<none>";
    return text.substr(start, text.find('\n', start) - start);
  }
};

TEST_F(ConfigurationFile, WritesTheExactLinesInTheirOrder) {
  model.compressorValues[0] = CompressorValues{40, 65, 1.5f, 0.01, 0.25};
  model.compressorValues[1] = CompressorValues{30, 60, 2.0f, 0.005, 1.0};
  model.leftCurve.ResetToDefaults();
  model.rightCurve.ResetToDefaults();
  model.rightCurve.gather = true;
  model.rightCurve.SetPoint(1000, -2.5f, -36, 12);
  EXPECT_EQ(Store(),
            "compress_left_center = 65\n"
            "compress_left_threshold = 40\n"
            "compress_left_rate = 1.50\n"
            "compress_left_attack = 0.010000\n"
            "compress_left_release = 0.250000\n"
            "compress_right_center = 60\n"
            "compress_right_threshold = 30\n"
            "compress_right_rate = 2.00\n"
            "compress_right_attack = 0.005000\n"
            "compress_right_release = 1.000000\n"
            "equalizer_left = " + kDefaultCurveList + "\n"
            "equalizer_right = 25=-2.50;63=-2.50;160=-2.50;400=-2.50;1000=-2.50;2500=-2.50;6300=-2.50;16000=-2.50;1;\n");
  EXPECT_EQ(model.leftCurve.name, "equalizer_left");
}

TEST_F(ConfigurationFile, WritingDropsOutOfRangeFrequenciesAndTruncatesTheRest) {
  model.leftCurve.SetPoints({{0.05, 1}, {0.1, 2}, {25, 3}, {1000.9, 4}, {99999.9, 5}, {100000, 6}, {150000, 7}});
  model.rightCurve.SetPoints({{-5, 1}});  // fewer than two points: written as the defaults
  std::string text = Store();
  EXPECT_EQ(LineOf(text, "equalizer_left"), "equalizer_left = 25=3.00;1000=4.00;99999=5.00;0;");
  EXPECT_EQ(LineOf(text, "equalizer_right"), "equalizer_right = " + kDefaultCurveList);
  EXPECT_EQ(model.rightCurve.PointCount(), 8u);
}

TEST_F(ConfigurationFile, RateIsAFloatWrittenWithTwoDecimals) {
  model.compressorValues[0].rate = 2.345f;  // held slightly above 2.345
  std::string text = Store();
  EXPECT_EQ(LineOf(text, "compress_left_rate"), "compress_left_rate = 2.35");
  Load(text);
  EXPECT_FLOAT_EQ(model.compressorValues[0].rate, 2.35f);
}

TEST_F(ConfigurationFile, NumbersIgnoreTheProcessLocale) {
  // A desktop in Portuguese formats "%.2f" as "2,50"; the files must not follow it.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "pt_BR.UTF-8")) {
    std::string locales = root + "/locale";
    std::filesystem::create_directories(locales);
    std::string command = "localedef -i pt_BR -f UTF-8 " + locales + "/pt_BR.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) {
      ::setenv("LOCPATH", locales.c_str(), 1);
      std::setlocale(LC_NUMERIC, "pt_BR.UTF-8");
      ::unsetenv("LOCPATH");
    }
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.2f", 2.5);
  if (std::string(probe) != "2,50") {
    std::setlocale(LC_NUMERIC, saved.c_str());
    GTEST_SKIP() << "no locale with a decimal comma available";
  }
  model.compressorValues[0].rate = 2.5f;
  std::string text = Store();
  Load("compress_left_attack = 0.025\n");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(LineOf(text, "compress_left_rate"), "compress_left_rate = 2.50");
  EXPECT_DOUBLE_EQ(model.compressorValues[0].attack, 0.025);
}

TEST_F(ConfigurationFile, ASinglePairGivesDefaultsAndMissingKeysKeepValues) {
  model.compressorValues[0] = CompressorValues{40, 65, 1.5f, 0.01, 0.25};
  model.compressorValues[1] = CompressorValues{30, 60, 2.0f, 0.005, 1.0};
  model.leftCurve.SetPoints({{100, 3}, {200, 4}, {300, 5}});
  model.leftCurve.gather = true;
  Load("equalizer_right = 1000=6.00;0;\n");
  EXPECT_EQ(model.compressorValues[0], (CompressorValues{40, 65, 1.5f, 0.01, 0.25}));
  EXPECT_EQ(model.compressorValues[1], (CompressorValues{30, 60, 2.0f, 0.005, 1.0}));
  settings::CCurve defaults;
  defaults.ResetToDefaults();
  EXPECT_TRUE(model.leftCurve.SameAs(defaults));
  EXPECT_TRUE(model.leftCurve.gather) << "no matching line keeps the gather flag";
  EXPECT_TRUE(model.rightCurve.SameAs(defaults));
  // The unchanged compressor values are handed to the engine all the same.
  EXPECT_DOUBLE_EQ(parameters.compressor.channel[0].threshold, (40 - 96) * 0.05);
  EXPECT_DOUBLE_EQ(parameters.compressor.channel[1].rate, 2.0);
  EXPECT_EQ(parameters.compressor.channel[1].dirty, 1);
}

TEST_F(ConfigurationFile, TheTrailingFlagSetsGatherAndBandsFollowTheLine) {
  Load("equalizer_left = 25=1.5;16000=-3;1;\n");
  ASSERT_EQ(model.leftCurve.PointCount(), 2u);
  EXPECT_TRUE(model.leftCurve.gather);
  double slope = -4.5 / (std::log10(16000.0) - std::log10(25.0));
  EXPECT_NEAR(parameters.equalizer.bands[engine::BandIndex(3, 0)].gain, 1.5 + slope * std::log10(400 / 25.0), 1e-9);
  Load("equalizer_left = 25=1.5;16000=-3;\n");
  EXPECT_FALSE(model.leftCurve.gather) << "a line ending after its last pair clears gather";
  model.leftCurve.gather = true;
  Load("equalizer_left =\n");
  EXPECT_TRUE(model.leftCurve.gather) << "a line without a value is ignored";
}

TEST_F(ConfigurationFile, PointsAccumulateOverLinesAndAreSorted) {
  Load("equalizer_left = 1000=2;25=1;\nequalizer_left = 400=3;0;\n");
  ASSERT_EQ(model.leftCurve.PointCount(), 3u);
  EXPECT_DOUBLE_EQ(model.leftCurve.points[0].frequency, 25);
  EXPECT_DOUBLE_EQ(model.leftCurve.points[1].frequency, 400);
  EXPECT_DOUBLE_EQ(model.leftCurve.points[2].gain, 2);
}

TEST_F(ConfigurationFile, KeysMatchAsPrefixesAndTheLastLineWins) {
  Load("compress_left_center2 = 61\n"
       "compress_left_threshold = 10\r\n"
       "compress_left_threshold = 20\r\n"
       "compress_left_center\n"
       "  compress_left_rate = 9\n"
       "compress_left_attack = 0.5 seconds\n"
       "compress_left_release = fast\n"
       "compress_right_rate = nan\n"
       "compress_right_attack = 1e999\n");
  EXPECT_EQ(model.compressorValues[0].center, 61);
  EXPECT_EQ(model.compressorValues[0].threshold, 20);
  EXPECT_FLOAT_EQ(model.compressorValues[0].rate, 0.0f) << "an indented line does not begin with the key";
  EXPECT_DOUBLE_EQ(model.compressorValues[0].attack, 0.5);
  EXPECT_DOUBLE_EQ(model.compressorValues[0].release, 0.0);
  EXPECT_FLOAT_EQ(model.compressorValues[1].rate, 0.0f);
  EXPECT_DOUBLE_EQ(model.compressorValues[1].attack, 0.0);
}

TEST_F(ConfigurationFile, ALineWithoutEqualsIsIgnored) {
  model.compressorValues[0].center = 55;
  Load("compress_left_center 70\ncompress_left_center =\n");
  EXPECT_EQ(model.compressorValues[0].center, 55);
}

TEST_F(ConfigurationFile, LinesLongerThan1023CharactersArriveInPieces) {
  // The first 1023 characters hold the pairs that fit; what follows is a piece of its own.
  std::string line = "equalizer_left = ";
  int frequency = 100;
  while (line.size() + 14 <= 1023) line += std::to_string(frequency++) + "=1.000000;";
  size_t pairsInFirstPiece = frequency - 100;
  line += std::string(1023 - line.size(), ' ');
  line += "20000=9;1;\n";
  // A piece that happens to begin with a key is taken for it; one that does not is ignored.
  std::string split = std::string(1023, 'x') + "compress_left_center = 57\n";
  std::string buried = std::string(1030, 'x') + "compress_left_threshold = 5\n";
  model.compressorValues[0].threshold = 33;
  Load(line + split + buried);
  EXPECT_EQ(model.leftCurve.PointCount(), pairsInFirstPiece);
  EXPECT_FALSE(model.leftCurve.gather) << "the flag was in the cut-off piece";
  EXPECT_EQ(model.compressorValues[0].center, 57);
  EXPECT_EQ(model.compressorValues[0].threshold, 33);
}

TEST_F(ConfigurationFile, StoredConfigurationReadsBackUnchanged) {
  model.compressorValues[0] = CompressorValues{12, 55, 7.25f, 0.0123, 0.5};
  model.compressorValues[1] = CompressorValues{-3, 70, 30.0f, 0.0, 0.01};
  model.leftCurve.SetPoints({{25, -36}, {63, 12}, {777, 3.33}, {16000, -0.01}});
  model.leftCurve.gather = true;
  model.rightCurve.ResetToDefaults();
  std::string first = Store();
  settings::ConfigurationModel other;
  std::FILE* stream = StreamWith(first);
  settings::LoadConfiguration(stream, other, parameters, prompt);
  std::fclose(stream);
  EXPECT_EQ(other.compressorValues[0], model.compressorValues[0]);
  EXPECT_EQ(other.compressorValues[1], model.compressorValues[1]);
  EXPECT_TRUE(other.leftCurve.SameAs(model.leftCurve));
  EXPECT_TRUE(other.leftCurve.gather);
}

class ConfigFileObject : public ConfigurationFile {
 protected:
  void SetUp() override {
    ConfigurationFile::SetUp();
    selection = std::make_unique<settings::PresetSelection>(model, parameters, &prompt);
    selection->configFolder = configFolder;
  }
  std::unique_ptr<settings::PresetSelection> selection;
};

TEST_F(ConfigFileObject, OpenOfAMissingFileShowsTheMessageAndChangesNothing) {
  model.compressorValues[0].center = 66;
  settings::CConfigFile file(*selection);
  EXPECT_EQ(file.Open("Missing.tvd"), -ENOENT);
  ASSERT_EQ(prompt.messages.size(), 1u);
  EXPECT_EQ(prompt.messages[0].text, "Cannot Open a File");
  EXPECT_EQ(model.compressorValues[0].center, 66);
}

TEST_F(ConfigFileObject, SaveReplacesTheWholeFileAndRecordsTheSelection) {
  std::string path = configFolder + "/Custom.tvh";
  WriteFile(path, std::string(5000, '#') + "\n");
  model.leftCurve.ResetToDefaults();
  model.rightCurve.ResetToDefaults();
  selection->pending = 1;
  selection->selectionName = "Custom";
  EXPECT_EQ(settings::CConfigFile(*selection).Save("Custom.tvh", true), 0);
  EXPECT_EQ(ReadFile(path), Store());
  EXPECT_EQ(selection->pending, 1) << "keep-pending";
  EXPECT_EQ(UserValue("pending"), "1");
  EXPECT_EQ(settings::CConfigFile(*selection).Save("Custom.tvh", false), 0);
  EXPECT_EQ(selection->pending, 0);
  EXPECT_EQ(UserValue("pending"), "0");
  // No temporary file is left beside the target.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(configFolder)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(ConfigFileObject, AFailedSaveLeavesTheOldFileWholeAndReportsIt) {
  std::string path = configFolder + "/Custom.tvh";
  const std::string old = "compress_left_center = 61\n";
  WriteFile(path, old);
  model.leftCurve.SetPoints(std::vector<settings::CurvePoint>(4000, settings::CurvePoint{1000, 1}));
  selection->pending = 1;
  // A file size limit stands in for a full disk (root ignores permissions, but not this).
  struct rlimit saved {};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = 1000;
  ::setrlimit(RLIMIT_FSIZE, &limited);
  int result = settings::CConfigFile(*selection).Save("Custom.tvh", false);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(result, -EFBIG);
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(selection->pending, 1) << "a failed save must not claim the changes are kept";
  ASSERT_EQ(prompt.messages.size(), 1u);
  EXPECT_EQ(prompt.messages[0].text, "Cannot Open a File");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(configFolder)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(ConfigFileObject, SavingThroughALinkReplacesTheLinkedFile) {
  std::filesystem::create_directories(root + "/dotfiles");
  WriteFile(root + "/dotfiles/Custom.tvh", "old\n");
  ::chmod((root + "/dotfiles/Custom.tvh").c_str(), 0600);
  std::filesystem::create_symlink(root + "/dotfiles/Custom.tvh", configFolder + "/Custom.tvh");
  model.leftCurve.ResetToDefaults();
  model.rightCurve.ResetToDefaults();
  ASSERT_EQ(settings::CConfigFile(*selection).Save("Custom.tvh", true), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(configFolder + "/Custom.tvh"));
  EXPECT_EQ(ReadFile(root + "/dotfiles/Custom.tvh"), Store());
  EXPECT_EQ(std::filesystem::status(root + "/dotfiles/Custom.tvh").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
      << "the replaced file keeps its permissions";
}

}  // namespace
