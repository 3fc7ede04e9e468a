#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <string>

#include "settings/config_file.h"
#include "settings/configuration_io.h"
#include "tests/settings/settings_fixture.h"
#include "tests/support/configuration_text.h"

namespace {

using settings::CompressorValues;
using namespace settings_test;

const std::string kDefaultCurveList = "25=0.00;63=0.00;160=0.00;400=0.00;1000=0.00;2500=0.00;6300=0.00;16000=0.00;0;";

class ConfigurationFile : public settings_test::SettingsFixture {
 protected:
  void Load(const std::string& text) { testing_support::LoadText(text, model, parameters, prompt); }
  std::string Store() { return testing_support::StoreText(model, prompt); }
  double Band(int band, int channel) { return parameters.equalizer.Gain(engine::BandIndex(band, channel)); }
};

TEST_F(ConfigurationFile, WritesTheExactLinesAndReadsThemBack) {
  model.compressorValues[0] = CompressorValues{40, 65, 2.345f, 0.01, 0.25};  // rate held slightly above 2.345
  model.compressorValues[1] = CompressorValues{30, 60, 2.0f, 0.005, 1.0};
  model.leftCurve.SetPoints({{0.05, 1}, {25, 3}, {1000.9, 4}, {99999.9, 5}, {100000, 6}});
  model.rightCurve.SetPoints({{-5, 1}});  // fewer than two points: written as the defaults
  model.rightCurve.gather = true;
  const std::string text = Store();
  EXPECT_EQ(text,
            "compress_left_center = 65\ncompress_left_threshold = 40\ncompress_left_rate = 2.35\n"
            "compress_left_attack = 0.010000\ncompress_left_release = 0.250000\n"
            "compress_right_center = 60\ncompress_right_threshold = 30\ncompress_right_rate = 2.00\n"
            "compress_right_attack = 0.005000\ncompress_right_release = 1.000000\n"
            "equalizer_left = 25=3.00;1000=4.00;99999=5.00;0;\n"
            "equalizer_right = " +
                kDefaultCurveList.substr(0, kDefaultCurveList.size() - 2) + "1;\n");
  settings::ConfigurationModel stored = model;
  Load(text);
  EXPECT_FLOAT_EQ(model.compressorValues[0].rate, 2.35f);
  EXPECT_EQ(model.compressorValues[1], stored.compressorValues[1]);
  EXPECT_EQ(model.leftCurve.PointCount(), 3u);
  EXPECT_TRUE(model.rightCurve.gather);
}

TEST_F(ConfigurationFile, CurveLinesAccumulateTheirFlagDecidesGatherAndMissingKeysKeepValues) {
  model.compressorValues[1] = CompressorValues{30, 60, 2.0f, 0.005, 1.0};
  Load("equalizer_left = 1000=2;25=1.5;\nequalizer_left = 16000=-3;1;\nequalizer_right = 1000=6.00;0;\n");
  ASSERT_EQ(model.leftCurve.PointCount(), 3u);
  EXPECT_DOUBLE_EQ(model.leftCurve.points[0].frequency, 25);
  EXPECT_TRUE(model.leftCurve.gather);
  EXPECT_EQ(model.rightCurve.PointCount(), 8u) << "a single pair gives the defaults";
  EXPECT_DOUBLE_EQ(Band(4, 0), 2.0);
  EXPECT_DOUBLE_EQ(Band(4, 1), 0.0);
  // The unchanged compressor values are handed to the engine all the same.
  EXPECT_DOUBLE_EQ(parameters.compressor.channel[1].rate, 2.0);
  Load("equalizer_left = 25=1.5;16000=-3;\n");
  EXPECT_FALSE(model.leftCurve.gather) << "a line ending after its last pair clears gather";
  model.leftCurve.gather = true;
  Load("equalizer_left =\n");
  EXPECT_TRUE(model.leftCurve.gather) << "a line without a value is ignored";
}

TEST_F(ConfigurationFile, APointWithoutItsGainIsSkippedNotReadFromTheNextPair) {
  // A one-character typo once gave 400 Hz the gain "1000=0" (+1000 dB) and shifted every later pair.
  Load(
      "equalizer_left = 25=0;63=0;160=0;400=;1000=0;2500=0;6300=0;16000=0;0;\n"
      "equalizer_right = 25=1;400=;;63=2;16000=3;1;\n");
  EXPECT_EQ(model.leftCurve.PointCount(), 7u);
  EXPECT_FALSE(model.leftCurve.gather);
  EXPECT_EQ(model.rightCurve.PointCount(), 3u);
  EXPECT_TRUE(model.rightCurve.gather);
  for (int band = 0; band < engine::kBandCount; ++band) {
    EXPECT_DOUBLE_EQ(Band(band, 0), 0.0) << band;
    EXPECT_LT(std::fabs(Band(band, 1)), 4.0) << band;
  }
}

class ConfigFileObject : public ConfigurationFile {
 protected:
  void SetUp() override {
    ConfigurationFile::SetUp();
    selection.configFolder = configFolder;
  }
  settings::PresetSelection selection{model, parameters, &prompt};
};

TEST_F(ConfigFileObject, WhatIsNoConfigurationTextIsRefusedQuicklyAndChangesNothing) {
  std::filesystem::create_directories(configFolder + "/Folder.tvd");
  std::filesystem::create_symlink("/dev/zero", configFolder + "/Zero.tvd");
  ASSERT_EQ(::mkfifo((configFolder + "/Pipe.tvd").c_str(), 0600), 0);
  WriteText(configFolder + "/Sound.tvd", std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + "compress_left_center = 1\n");
  WriteText(configFolder + "/Huge.tvd", "compress_left_center = 1\n" + std::string(2 << 20, '#'));
  model.compressorValues[0].center = 66;
  const auto start = std::chrono::steady_clock::now();
  for (auto [name, error] : {std::pair{"Missing.tvd", ENOENT},
                             {"Folder.tvd", EISDIR},
                             {"Zero.tvd", ENODEV},
                             {"Pipe.tvd", ENODEV},
                             {"Sound.tvd", EILSEQ},
                             {"Huge.tvd", EFBIG}}) {
    prompt.messages.clear();
    EXPECT_EQ(settings::CConfigFile(selection).Open(name), -error) << name;
    ASSERT_EQ(prompt.messages.size(), 1u) << name;
    EXPECT_EQ(prompt.messages[0].text, "Cannot Open a File");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(model.compressorValues[0].center, 66);
}

TEST_F(ConfigFileObject, AFailedSaveLeavesTheOldFileWholeAndReportsIt) {
  const std::string path = configFolder + "/Custom.tvh", old = "compress_left_center = 61\n";
  WriteText(path, old);
  model.leftCurve.SetPoints(std::vector<settings::CurvePoint>(4000, settings::CurvePoint{1000, 1}));
  selection.pending = 1;
  // A file size limit stands in for a full disk (root ignores permissions, but not this).
  struct rlimit saved {
  }, limited{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  limited = {1000, saved.rlim_max};
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &limited);
  int result = settings::CConfigFile(selection).Save("Custom.tvh", false);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(result, -EFBIG);
  EXPECT_EQ(ReadText(path), old);
  EXPECT_EQ(selection.pending, 1) << "a failed save must not claim the changes are kept";
  EXPECT_EQ(prompt.messages.at(0).text, "Cannot Open a File");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(configFolder), {}), 1);
  // A file the user made read-only is not replaced either, not even by root.
  ::chmod(path.c_str(), 0444);
  model.leftCurve.ResetToDefaults();
  EXPECT_EQ(settings::CConfigFile(selection).Save("Custom.tvh", false), -EACCES);
  EXPECT_EQ(ReadText(path), old);
}

TEST_F(ConfigFileObject, SavingThroughALinkReplacesTheLinkedFileKeepingItsPermissions) {
  std::filesystem::create_directories(root + "/dotfiles");
  WriteText(root + "/dotfiles/Custom.tvh", "old\n");
  ::chmod((root + "/dotfiles/Custom.tvh").c_str(), 0600);
  std::filesystem::create_symlink(root + "/dotfiles/Custom.tvh", configFolder + "/Custom.tvh");
  ASSERT_EQ(settings::CConfigFile(selection).Save("Custom.tvh", true), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(configFolder + "/Custom.tvh"));
  EXPECT_EQ(ReadText(root + "/dotfiles/Custom.tvh"), Store());
  EXPECT_EQ(std::filesystem::status(root + "/dotfiles/Custom.tvh").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// A writer killed between creating its temporary file and renaming it leaves the file behind; the next
// save removes those of writers that are gone, and no other. (That a failed or interrupted write leaves
// the old file whole is the failed-save test above: the file is never written in place, and that the
// pending flag follows a save is the selection's test.)
TEST_F(ConfigFileObject, TheNextSaveRemovesWhatAKilledWriterLeftBehind) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string prefix = configFolder + "/.Custom.tvh.tmp-", dead = prefix + std::to_string(gone) + "-abcdef";
  WriteText(dead, "half a configuration");
  WriteText(prefix + "1-abcdef", "a running writer's");
  ASSERT_EQ(settings::CConfigFile(selection).Save("Custom.tvh", false), 0);
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(prefix + "1-abcdef"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(configFolder), {}), 2)
      << "the save left no temporary file of its own";
}

}  // namespace
