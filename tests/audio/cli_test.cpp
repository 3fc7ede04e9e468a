// tonvex-cli as the user runs it: exit codes, messages and files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <tuple>

#include "tests/audio/sound_files.h"

namespace {

using namespace testing_support;

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

// Each test's own folder, and tonvex-cli and shell command lines run with their output collected beside it.
class CliTest : public ::testing::Test {
 protected:
  // Runs a shell command line; its standard output and error go through files beside the folder.
  CliRun RunCommand(const std::string& line) const {
    const std::string out = dir.path + ".out", err = dir.path + ".err";
    const int status = std::system((line + " >" + out + " 2>" + err).c_str());
    CliRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
  }
  CliRun RunCli(const std::string& arguments) const { return RunCommand(std::string(TONVEX_CLI) + " " + arguments); }

  ScratchDir dir;
};

bool WriteTone(const std::string& path, int format, int frames) {
  return audio_test::WriteSound(path, format, 44100, 2, audio_test::TestSignal(44100, 2, frames));
}

const char* const kConfiguration =
    "lang_09_ = Loud\n"
    "compress_left_center = 70\ncompress_left_threshold = 60\ncompress_left_rate = 3.5\n"
    "compress_left_attack = 0.005\ncompress_left_release = 0.1\n"
    "lang_22_=Alto\n"
    "equalizer_left = 25=1.5;63=0.00;160=0.00;400=-2.25;1000=6.00;2500=0.00;6300=0.00;16000=3.00;0;\n"
    "equalizer_right = 25=0.00;63=0.00;160=2.00;400=0.00;1000=-4.00;2500=5.00;6300=0.00;16000=-3.00;0;\n";

// Values the program's own sliders could not set never reach the engine, and a backend other than the two is
// refused before any server is asked: the fault goes to standard error alone, one line naming it.
TEST_F(CliTest, BadCallsExitWithTwoNamingTheFaultOnOneLine) {
  EXPECT_EQ(RunCli("--help").status, 0);
  EXPECT_EQ(RunCli("").status, 2);
  for (const std::string call :
       {"frobnicate", "bands", "--frobnicate", "--volume-left loud", "--volume-left nan", "--volume-right -59",
        "--volume-left 41", "--limit-left 140", "--limit-right 47", "--limit-left 90.5", "--limiter-attack 0.05",
        "--limiter-release 0.001", "--limiter-release 2", "live --backend jack", "live --backend auto",
        "live --backend PipeWire"}) {
    const CliRun run = RunCli((call[0] == '-' ? "render a.wav b.wav " : "") + call);
    const size_t at = call.find("--") == std::string::npos ? 0 : call.find("--");
    EXPECT_EQ(std::make_tuple(run.status, run.out), std::make_tuple(2, std::string())) << call;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << call << ": " << run.err;
    EXPECT_NE(run.err.find(call.substr(at, call.find(' ', at) - at)), std::string::npos) << call << ": " << run.err;
  }
}

TEST_F(CliTest, UnreadableFilesExitWithOneAndLeaveNoOutput) {
  WriteText(dir.File("text.wav"), "RIFF but not really");
  ASSERT_TRUE(WriteTone(dir.File("sound.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 441));
  ASSERT_TRUE(audio_test::WriteSound(dir.File("surround.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 6,
                                     std::vector<double>(600, 0.1)));
  const std::string out = " " + dir.File("out.wav");
  // (What is refused as configuration text, and why, is the configuration reader's test.)
  const std::pair<std::string, const char*> calls[] = {
      {"render " + dir.File("none.wav") + out, "none.wav"},
      {"render " + dir.File("text.wav") + out, ""},
      {"analyze " + dir.File("text.wav"), ""},
      {"bands " + dir.File("none.tva"), "none.tva"},
      {"normalize " + dir.File("sound.wav") + out, "binary"},
      {"render " + dir.File("surround.wav") + out, "channels"},
      {"render " + dir.File("sound.wav") + " " + dir.File("out.xyz"), ""},
      {"render " + dir.File("sound.wav") + " " + dir.File("no/such/folder/out.wav"), "out.wav"}};
  for (const auto& [call, named] : calls) {
    CliRun run = RunCli(call);
    EXPECT_EQ(run.status, 1) << call;
    EXPECT_FALSE(run.err.empty()) << call;
    EXPECT_NE(run.err.find(named), std::string::npos) << call << ": " << run.err;
  }
  auto names = dir.Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"sound.wav", "surround.wav", "text.wav"}));
}

TEST_F(CliTest, BandsAndNormalizeReadAndStoreAsTheProgramDoes) {
  WriteText(dir.File("loud.tvd"), kConfiguration);
  CliRun bands = RunCli("bands " + dir.File("loud.tvd"));
  ASSERT_EQ(bands.status, 0) << bands.err;
  EXPECT_EQ(bands.out.substr(0, 25), "1.50\n0.00\n0.00\n-2.25\n6.00");
  EXPECT_NE(bands.out.find("\n-4.00\n5.00\n"), std::string::npos);
  ASSERT_EQ(RunCli("normalize " + dir.File("loud.tvd") + " " + dir.File("once.tvd")).status, 0);
  const std::string once = ReadText(dir.File("once.tvd"));
  EXPECT_EQ(once.rfind("lang_09_ = Loud\nlang_22_=Alto\ncompress_left_center = 70\n", 0), 0u)
      << "a preset keeps its display names: " << once;
  ASSERT_EQ(RunCli("normalize " + dir.File("once.tvd") + " " + dir.File("twice.tvd")).status, 0);
  EXPECT_EQ(ReadText(dir.File("twice.tvd")), once);
}

// OUT names a link, a device or a pipe: a link is written through (its target replaced, the link kept), the
// others are refused before anything is written.
TEST_F(CliTest, OutputThroughALinkReachesItsTargetAndDevicesAndPipesAreRefused) {
  ASSERT_TRUE(WriteTone(dir.File("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 441));
  WriteText(dir.File("loud.tvd"), kConfiguration);
  std::filesystem::create_directory(dir.File("kept"));
  WriteText(dir.File("kept/preset.tvd"), "old");
  for (const std::string link : {"song.wav", "preset.tvd"})  // relative links; kept/song.wav is not there yet
    std::filesystem::create_symlink("kept/" + link, dir.File(link));
  ASSERT_EQ(RunCli("render " + dir.File("in.wav") + " " + dir.File("song.wav")).status, 0);
  ASSERT_EQ(RunCli("normalize " + dir.File("loud.tvd") + " " + dir.File("preset.tvd")).status, 0);
  SF_INFO info;
  for (const char* link : {"song.wav", "preset.tvd"}) EXPECT_TRUE(std::filesystem::is_symlink(dir.File(link)));
  EXPECT_EQ(audio_test::ReadSound(dir.File("kept/song.wav"), &info).size(), 2u * 441);
  EXPECT_EQ(ReadText(dir.File("kept/preset.tvd")).rfind("lang_09_ = Loud\n", 0), 0u);

  // Nodes of its own, named and linked (the system's /dev/null is never risked; a device node needs root).
  size_t names = dir.Names().size();
  for (const auto& [mode, word] : {std::pair{S_IFIFO, "pipe"}, std::pair{S_IFCHR, "device"}}) {
    const std::string node = dir.File(word), link = node + ".wav";
    if (::mknod(node.c_str(), mode | 0600, makedev(1, 3)) != 0) continue;
    std::filesystem::create_symlink(node, link);
    names += 2;
    for (const std::string& call :
         {"render " + dir.File("in.wav") + " " + link, "normalize " + dir.File("loud.tvd") + " " + node}) {
      CliRun run = RunCli(call);
      EXPECT_EQ(run.status, 1) << call;
      EXPECT_NE(run.err.find(word), std::string::npos) << call << ": " << run.err;
    }
    struct stat kept {};
    EXPECT_TRUE(::stat(node.c_str(), &kept) == 0 && (kept.st_mode & S_IFMT) == static_cast<mode_t>(mode)) << word;
  }
  EXPECT_EQ(dir.Names().size(), names) << "nothing replaced, no temporary file left";
}

TEST_F(CliTest, RenderAndAnalyzeWorkFromTheCommandLine) {
  const std::string in = dir.File("in.wav"), out = dir.File("out.wav");
  ASSERT_TRUE(WriteTone(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4410));
  CliRun render = RunCli("render " + in + " " + out + " --volume-left -6 --volume-right -6 --limit-left 90");
  ASSERT_EQ(render.status, 0) << render.err;
  SF_INFO info;
  const auto input = audio_test::ReadSound(in, &info);
  const auto output = audio_test::ReadSound(out, &info);
  ASSERT_EQ(output.size(), input.size());
  // -6 dB on the right, where nothing else acts.
  for (size_t i = 1; i < output.size(); i += 2) ASSERT_NEAR(output[i], input[i] * 0.501187, 2.0 / 32768);
  CliRun analyze = RunCli("analyze " + in + " --block 441 --side right");
  ASSERT_EQ(analyze.status, 0) << analyze.err;
  // A header and a row a block (the level figures are the monitor's, tested with the engine).
  EXPECT_EQ(analyze.out.rfind("time_s,b25,b63,b160,b400,b1000,b2500,b6300,b16000,total\n", 0), 0u) << analyze.out;
  EXPECT_EQ(std::count(analyze.out.begin(), analyze.out.end(), '\n'), 11);
}

TEST_F(CliTest, RenderWritesTheFormatTheNameSaysUnderAnyNameAndWarnsOfACutShortInput) {
  ASSERT_TRUE(WriteTone(dir.File("in.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100));
  const std::string longName = std::string(246, 'a') + ".wav";  // 250 characters: the longest a name may be
  ASSERT_EQ(RunCli("render " + dir.File("in.flac") + " " + dir.File(longName)).status, 0);
  SF_INFO info;
  EXPECT_EQ(audio_test::ReadSound(dir.File(longName), &info).size(), 2u * 44100);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  // Cut in the middle, as an interrupted download leaves it: 4 bytes a frame after a 44-byte header.
  ASSERT_TRUE(WriteTone(dir.File("cut.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100));
  std::filesystem::resize_file(dir.File("cut.wav"), 44 + 4 * 10000);
  CliRun cut = RunCli("render " + dir.File("cut.wav") + " " + dir.File("out.flac"));
  EXPECT_EQ(cut.status, 0) << cut.err;
  EXPECT_NE(cut.err.find("44100 frames"), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find("10000 frames"), std::string::npos) << cut.err;
  EXPECT_EQ(audio_test::ReadSound(dir.File("out.flac"), &info).size(), 2u * 10000);
  EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
  EXPECT_EQ(dir.Names().size(), 4u) << "no temporary file is left";
}

TEST_F(CliTest, AnInterruptedRenderRemovesItsTemporaryFileAndFails) {
  ASSERT_TRUE(WriteTone(dir.File("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100 * 60));
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execl(TONVEX_CLI, TONVEX_CLI, "render", dir.File("in.wav").c_str(), dir.File("out.wav").c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Interrupted while its output is being written.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (dir.Names().size() < 2 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(dir.Names().size(), 2u) << "the render did not start writing";
    ::kill(child, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "signal " << signal;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.wav"}) << "signal " << signal;
  }
}

// Every command answers --help (and "help COMMAND") on standard output with its own usage, the manual
// page documents it and the shell completion offers it.
TEST_F(CliTest, EveryCommandHasItsHelpItsManualEntryAndItsCompletion) {
  const std::string manual = ReadText(TONVEX_RESOURCES "/man/tonvex-cli.1");
  const CliRun general = RunCli("--help");
  const CliRun completed = RunCommand("bash -c '. " TONVEX_RESOURCES
                                      "/completion/tonvex.bash; COMP_WORDS=(tonvex-cli \"\"); COMP_CWORD=1; "
                                      "_tonvex_cli; echo \" ${COMPREPLY[*]} \"'");
  for (const std::string command : {"render", "analyze", "bands", "normalize", "live", "control"}) {
    SCOPED_TRACE(command);
    for (const std::string& asked : {command + " --help", command + " -h", "help " + command}) {
      const CliRun run = RunCli(asked);
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.out.rfind("Usage: tonvex-cli " + command + " ", 0), 0u) << run.out;
      EXPECT_NE(run.out.find("Exit status"), std::string::npos);
      EXPECT_EQ(run.err, "");
    }
    EXPECT_NE(general.out.find("\n  " + command + " "), std::string::npos) << general.out;
    EXPECT_NE(manual.find(".B " + command + " "), std::string::npos);
    EXPECT_NE(completed.out.find(" " + command + " "), std::string::npos) << completed.out;
  }
}

#ifdef TONVEX_DESKTOP
// The desktop program answers --help without a display, and says on standard error why it refuses a start.
TEST_F(CliTest, TheDesktopProgramsHelpAndRefusal) {
  const CliRun help = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY " TONVEX_DESKTOP " --help");
  EXPECT_EQ(help.status, 0);
  for (const char* part : {"Usage: tonvex", "/F FILE", "Exit status", "tonvex(1)"})
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  const CliRun refused =
      RunCommand("QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=" + dir.path + " " TONVEX_DESKTOP " /X file.tvd");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("tonvex: arguments not understood"), std::string::npos) << refused.err;
}
#endif

// Both manual pages render without a warning of the formatter, with their exit status section.
TEST_F(CliTest, ManualPagesRender) {
  if (RunCommand("command -v man").status != 0) GTEST_SKIP() << "man is not installed";
  for (const char* page : {"tonvex.1", "tonvex-cli.1"}) {
    const CliRun run = RunCommand(std::string("MANWIDTH=80 man --warnings -l " TONVEX_RESOURCES "/man/") + page);
    EXPECT_EQ(run.status, 0) << page;
    EXPECT_EQ(run.err, "") << page;
    EXPECT_NE(run.out.find("EXIT STATUS"), std::string::npos) << page;
  }
}

}  // namespace
