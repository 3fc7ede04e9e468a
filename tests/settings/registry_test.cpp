#include "platform/registry.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "tests/settings/settings_fixture.h"

namespace {

using namespace platform;
using namespace settings_test;

class Registry : public settings_test::SettingsFixture {
 protected:
  std::vector<std::string> Backups() {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(root + "/user"))
      if (entry.path().filename().string().rfind("user.reg.damaged-", 0) == 0) found.push_back(entry.path());
    return found;
  }
};

TEST_F(Registry, ValuesKeepTheirTypeAndTextAndAreNeverCut) {
  RegistryKey writer, reader;
  ASSERT_EQ(writer.Open(HKEY_CURRENT_USER, kProductKey, KEY_WRITE), 0);
  ASSERT_EQ(reader.Open(HKEY_CURRENT_USER, kProductKey, KEY_READ), 0);
  ASSERT_EQ(writer.SetDword("device", 0xDEADBEEF), 0);
  uint32_t value = 0;
  EXPECT_EQ(reader.QueryDword("DEVICE", &value), 0) << "value names ignore case";
  EXPECT_EQ(value, 0xDEADBEEFu);
  // A value longer than the reader's buffer is refused whole, not cut (31 characters and the terminator fit).
  ASSERT_EQ(writer.SetString("preferred", std::string(32, 'a')), 0);
  std::string data = "untouched";
  EXPECT_EQ(reader.QueryString("preferred", &data, 32), platform::kRegistryMoreData);
  EXPECT_EQ(data, "untouched");
  const std::string awkward = "quote \" backslash \\ tab\t newline\n bracket ] \xc3\xa7\x01";
  ASSERT_EQ(writer.SetString("odd \"name\"", awkward), 0);
  EXPECT_EQ(reader.QueryString("odd \"name\"", &data, 1024), 0);
  EXPECT_EQ(data, awkward);
}

TEST_F(Registry, ADamagedLineCostsOnlyThatLineAndTheDamagedFileIsKept) {
  const std::string path = platform::RegistryFilePath(HKEY_CURRENT_USER);
  const std::string damaged =
      "[Software\\Brevalto\\Tonvex]\n\"pending\"=\"1\"\ngarbage line\n\"minimized\"=\"1\"\n"
      "\"wide\"=dword:100000003\n[Broken\n\"lost\"=\"x\"\n"
      "[Software\\Brevalto\\Tonvex]\n\"device\"=dword:00000003\n";
  WriteText(path, damaged);
  testing::internal::CaptureStderr();
  EXPECT_EQ(UserValue("pending"), "1");
  EXPECT_EQ(UserValue("minimized"), "1");
  EXPECT_EQ(UserValue("lost"), "<missing>") << "values under an unreadable key name are not misplaced";
  uint32_t device = 0;
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kProductKey, KEY_READ | KEY_WRITE), 0);
  EXPECT_EQ(key.QueryDword("device", &device), 0);
  EXPECT_EQ(device, 3u);
  EXPECT_NE(key.QueryDword("wide", &device), 0) << "nine hex digits are no dword";
  EXPECT_NE(testing::internal::GetCapturedStderr().find("4 unreadable lines (line 3:"), std::string::npos);
  ASSERT_EQ(Backups().size(), 1u) << "warned and kept once, not at every read";
  EXPECT_EQ(ReadText(Backups()[0]), damaged);
  EXPECT_EQ(ReadText(path).find("garbage"), std::string::npos);
  EXPECT_EQ(key.SetString("pending", "0"), 0);
  EXPECT_EQ(UserValue("minimized"), "1");
  // A linked settings file (a dotfile manager's): the kept copy holds the damaged bytes themselves, not a
  // second link to the file that the repair replaced.
  std::filesystem::remove(Backups()[0]);
  const std::string linked = root + "/dotfiles-user.reg";
  WriteText(linked, damaged);
  std::filesystem::remove(path);
  std::filesystem::create_symlink(linked, path);
  testing::internal::CaptureStderr();
  EXPECT_EQ(UserValue("minimized"), "1");
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(Backups().size(), 1u);
  EXPECT_FALSE(std::filesystem::is_symlink(Backups()[0]));
  EXPECT_EQ(ReadText(Backups()[0]), damaged);
  EXPECT_TRUE(std::filesystem::is_symlink(path)) << "the repair writes through the link";
  EXPECT_EQ(ReadText(linked).find("garbage"), std::string::npos);
  // Something else in the file's place gives the defaults at once, with a warning.
  std::filesystem::remove(path);
  std::filesystem::create_symlink("/dev/zero", path);
  testing::internal::CaptureStderr();
  EXPECT_EQ(UserValue("pending"), "<no key>");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("not a regular file"), std::string::npos);
}

TEST_F(Registry, ReadOnlySettingsAreReportedAndNeverReplaced) {
  const std::string path = platform::RegistryFilePath(HKEY_CURRENT_USER);
  SetUserValue("pending", "1");
  const std::string before = ReadText(path);
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kProductKey, KEY_WRITE), 0);
  for (const std::string& readOnly : {path, root + "/user"}) {
    ::chmod(readOnly.c_str(), 0555);
    testing::internal::CaptureStderr();
    EXPECT_EQ(key.SetString("pending", "0"), EACCES) << readOnly;
    const std::string warning = testing::internal::GetCapturedStderr();
    ::chmod(readOnly.c_str(), 0755);
    EXPECT_EQ(ReadText(path), before);
    EXPECT_NE(warning.find("cannot save settings to " + path), std::string::npos) << warning;
    EXPECT_NE(warning.find("read-only"), std::string::npos) << warning;
  }
  // A damaged file in a read-only folder is read as far as it goes, without a copy at every read.
  WriteText(path, before + "garbage\n");
  ::chmod((root + "/user").c_str(), 0555);
  testing::internal::CaptureStderr();
  EXPECT_EQ(UserValue("pending"), "1");
  EXPECT_EQ(UserValue("pending"), "1");
  testing::internal::GetCapturedStderr();
  ::chmod((root + "/user").c_str(), 0755);
  EXPECT_TRUE(Backups().empty());
  EXPECT_EQ(ReadText(path), before + "garbage\n");
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
  // Threads of this process and forked processes write disjoint values at the same time.
  constexpr int kWriters = 4, kValues = 25;
  // Built by append: GCC 12 warns falsely (-Wrestrict) about "literal" + std::string in optimised builds.
  auto name = [](int writer, int i) {
    return std::string("w").append(std::to_string(writer)).append("_").append(std::to_string(i));
  };
  auto write = [&](int writer) {
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kProductKey, KEY_WRITE) != 0) return false;
    for (int i = 0; i < kValues; ++i)
      if (key.SetString(name(writer, i), std::to_string(i)) != 0) return false;
    return true;
  };
  pid_t children[2];
  for (int writer = 0; writer < 2; ++writer)
    if ((children[writer] = ::fork()) == 0) ::_exit(write(writer) ? 0 : 1);
  bool threadsWrote[2] = {};
  std::thread a([&] { threadsWrote[0] = write(2); }), b([&] { threadsWrote[1] = write(3); });
  a.join();
  b.join();
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_TRUE(threadsWrote[0] && threadsWrote[1]);
  for (int writer = 0; writer < kWriters; ++writer)
    for (int i = 0; i < kValues; ++i) EXPECT_EQ(UserValue(name(writer, i)), std::to_string(i));
}

}  // namespace
