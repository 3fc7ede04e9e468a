#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "settings/config_file.h"
#include "tests/settings/helpers/crash_contents.h"
#include "tests/settings/settings_fixture.h"

namespace {

using settings_test::ReadText;

// Starts the writer, waits for its first complete write, lets it run a random short while and
// kills it. Returns false when the writer did not come up.
bool RunAndKill(const std::string& target, std::mt19937& random) {
  int ready[2];
  if (::pipe(ready) != 0) return false;
  pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::dup2(ready[1], STDOUT_FILENO);
    ::close(ready[0]);
    ::execl(TONVEX_CRASH_WRITER, TONVEX_CRASH_WRITER, target.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ready[1]);
  char byte = 0;
  bool started = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  if (started) std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  return started;
}

int CountTemporaries(const std::string& folder, const std::string& prefix) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) ++count;
  return count;
}

class CrashSafety : public settings_test::SettingsFixture {
 protected:
  static constexpr int kRounds = 120;
  std::mt19937 random{std::random_device{}()};
};

TEST_F(CrashSafety, AKilledConfigurationSaveLeavesTheOldOrTheNewFile) {
  std::string contents[2];
  for (int variant = 0; variant < 2; ++variant) {
    settings::ConfigurationModel variantModel;
    crash_contents::Fill(variantModel, variant);
    std::string path = root + "/expected" + std::to_string(variant);
    ASSERT_EQ(settings::WriteConfigurationFile(path, variantModel, prompt), 0);
    contents[variant] = ReadText(path);
  }
  ASSERT_NE(contents[0], contents[1]);
  std::string target = configFolder + "/Custom.tvh";
  settings_test::WriteText(target, contents[1]);
  int interrupted = 0;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(RunAndKill(target, random)) << "writer did not start";
    std::string now = ReadText(target);
    ASSERT_TRUE(now == contents[0] || now == contents[1]) << "round " << round << ": " << now.size() << " bytes";
    interrupted += CountTemporaries(configFolder, ".Custom.tvh.tmp-") > 0;
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a write; the test did not test anything";
  // The next save clears what the killed writers left behind.
  ASSERT_EQ(settings::WriteConfigurationFile(target, model, prompt), 0);
  EXPECT_EQ(CountTemporaries(configFolder, ".Custom.tvh.tmp-"), 0);
}

}  // namespace
