// tonvex-cli as the user runs it: exit codes, messages and files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/audio/sound_files.h"

namespace {

using audio_test::ScratchDir;

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

CliRun RunCli(const std::string& arguments, const ScratchDir& dir) {
  const std::string errPath = dir.File(".stderr");
  const std::string command = std::string(TONVEX_CLI) + " " + arguments + " 2>" + errPath;
  CliRun run{-1, "", ""};
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> chunk;
  for (size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) run.out.append(chunk.data(), n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errPath);
  std::stringstream text;
  text << err.rdbuf();
  run.err = text.str();
  std::remove(errPath.c_str());
  return run;
}

std::string ReadText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

const char* const kConfiguration =
    "lang_09_ = Loud\n"
    "compress_left_center = 70\ncompress_left_threshold = 60\ncompress_left_rate = 3.5\n"
    "compress_left_attack = 0.005\ncompress_left_release = 0.1\n"
    "compress_right_center = 80\ncompress_right_threshold = 70\ncompress_right_rate = 2\n"
    "compress_right_attack = 0.01\ncompress_right_release = 0.2\n"
    "equalizer_left = 25=1.5;63=0.00;160=0.00;400=-2.25;1000=6.00;2500=0.00;6300=0.00;16000=3.00;0;\n"
    "equalizer_right = 25=0.00;63=0.00;160=2.00;400=0.00;1000=-4.00;2500=5.00;6300=0.00;16000=-3.00;0;\n";

TEST(CliTest, HelpListsEveryCommandAndBadCallsExitWithTwo) {
  ScratchDir dir;
  CliRun help = RunCli("--help", dir);
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"render", "analyze", "bands", "normalize", "live"})
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  EXPECT_EQ(RunCli("", dir).status, 2);
  CliRun unknown = RunCli("frobnicate", dir);
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("frobnicate"), std::string::npos);
  CliRun badOption = RunCli("render a.wav b.wav --volume-left loud", dir);
  EXPECT_EQ(badOption.status, 2);
  EXPECT_NE(badOption.err.find("--volume-left"), std::string::npos);
  CliRun badSide = RunCli("analyze a.wav --side middle", dir);
  EXPECT_EQ(badSide.status, 2);
  EXPECT_NE(badSide.err.find("middle"), std::string::npos);
  EXPECT_EQ(RunCli("bands", dir).status, 2);
  EXPECT_EQ(RunCli("live --output", dir).status, 2);
}

TEST(CliTest, UnreadableFilesExitWithOneAndLeaveNoOutput) {
  ScratchDir dir;
  CliRun missing = RunCli("render " + dir.File("none.wav") + " " + dir.File("out.wav"), dir);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.wav"), std::string::npos);
  WriteText(dir.File("text.wav"), "RIFF but not really");
  EXPECT_EQ(RunCli("render " + dir.File("text.wav") + " " + dir.File("out.wav"), dir).status, 1);
  EXPECT_EQ(RunCli("analyze " + dir.File("text.wav"), dir).status, 1);
  CliRun bands = RunCli("bands " + dir.File("none.tva"), dir);
  EXPECT_EQ(bands.status, 1);
  EXPECT_NE(bands.err.find("none.tva"), std::string::npos);
  EXPECT_EQ(RunCli("normalize " + dir.File("none.tva") + " " + dir.File("out.tva"), dir).status, 1);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"text.wav"});
}

TEST(CliTest, BandsPrintsTheSixteenGainsLeftThenRight) {
  ScratchDir dir;
  WriteText(dir.File("loud.tva"), kConfiguration);
  CliRun bands = RunCli("bands " + dir.File("loud.tva"), dir);
  ASSERT_EQ(bands.status, 0) << bands.err;
  std::istringstream lines(bands.out);
  std::vector<std::string> values;
  for (std::string line; std::getline(lines, line);) values.push_back(line);
  ASSERT_EQ(values.size(), 16u);
  EXPECT_EQ(values[0], "1.50");
  EXPECT_EQ(values[3], "-2.25");
  EXPECT_EQ(values[4], "6.00");
  EXPECT_EQ(values[7], "3.00");
  EXPECT_EQ(values[8 + 4], "-4.00");
  EXPECT_EQ(values[8 + 5], "5.00");
}

TEST(CliTest, NormalizeStoresAsTheProgramSavesAndIsStable) {
  ScratchDir dir;
  WriteText(dir.File("loud.tva"), kConfiguration);
  CliRun first = RunCli("normalize " + dir.File("loud.tva") + " " + dir.File("once.tva"), dir);
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string once = ReadText(dir.File("once.tva"));
  EXPECT_NE(once.find("compress_left_rate = 3.50\n"), std::string::npos) << once;
  EXPECT_NE(once.find("compress_left_attack = 0.005000\n"), std::string::npos) << once;
  EXPECT_EQ(once.find("lang_09_"), std::string::npos) << "display names are not part of a stored configuration";
  ASSERT_EQ(RunCli("normalize " + dir.File("once.tva") + " " + dir.File("twice.tva"), dir).status, 0);
  EXPECT_EQ(ReadText(dir.File("twice.tva")), once);
}

TEST(CliTest, RenderAndAnalyzeWorkFromTheCommandLine) {
  ScratchDir dir;
  const std::string in = dir.File("in.wav"), out = dir.File("out.wav");
  ASSERT_TRUE(audio_test::WriteSound(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                                     audio_test::TestSignal(44100, 2, 4410)));
  CliRun render = RunCli("render " + in + " " + out + " --volume-left -6 --volume-right -6 --limit-left 90", dir);
  ASSERT_EQ(render.status, 0) << render.err;
  SF_INFO info;
  const auto input = audio_test::ReadSound(in, &info);
  const auto output = audio_test::ReadSound(out, &info);
  ASSERT_EQ(output.size(), input.size());
  // -6 dB on the right, where nothing else acts.
  for (size_t i = 1; i < output.size(); i += 2) ASSERT_NEAR(output[i], input[i] * 0.501187, 2.0 / 32768);
  CliRun analyze = RunCli("analyze " + in + " --block 441 --side right", dir);
  ASSERT_EQ(analyze.status, 0) << analyze.err;
  EXPECT_EQ(std::count(analyze.out.begin(), analyze.out.end(), '\n'), 11);
  EXPECT_EQ(analyze.out.rfind("time_s,b25,", 0), 0u);
}

}  // namespace
