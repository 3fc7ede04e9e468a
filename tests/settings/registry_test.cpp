#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_document.h"
#include "tests/settings/settings_fixture.h"

namespace {

using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::KEY_READ;
using platform::KEY_WRITE;
using platform::RegistryKey;
using settings_test::Exists;
using settings_test::kProductKey;
using settings_test::ReadFile;
using settings_test::WriteFile;

class Registry : public settings_test::SettingsFixture {};

TEST_F(Registry, OpenNeverCreatesAKey) {
  RegistryKey key;
  EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_WRITE), platform::kRegistryNotFound);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.SetString("amplificator", "1"), platform::kRegistryInvalidHandle);
  EXPECT_FALSE(Exists(platform::RegistryFilePath(HKEY_LOCAL_MACHINE)));
  ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, "Software\\Brevalto\\Tonvex\\Deep"), 0);
  RegistryKey parent;
  EXPECT_EQ(parent.Open(HKEY_LOCAL_MACHINE, "software\\BREVALTO", KEY_READ), 0) << "parents exist, case aside";
  EXPECT_EQ(parent.Open(HKEY_LOCAL_MACHINE, "Software\\Brevalto\\Other", KEY_READ), platform::kRegistryNotFound);
  RegistryKey rootKey;
  ASSERT_EQ(rootKey.Open(HKEY_LOCAL_MACHINE, "", KEY_WRITE), 0);
  EXPECT_EQ(rootKey.SetString("x", "y"), EINVAL) << "a value the file could not hold is refused, not lost";
}

TEST_F(Registry, StringsCarryTheirTerminatorAndRespectTheBuffer) {
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kProductKey, KEY_READ | KEY_WRITE), 0);
  ASSERT_EQ(key.SetString("minimized", "1"), 0);
  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(key.QueryValue("minimized", &type, &data, 1024), 0);
  EXPECT_EQ(type, platform::REG_SZ);
  EXPECT_EQ(data, std::string("1\0", 2));
  std::string text(31, 'a');
  ASSERT_EQ(key.SetString("preferred", text), 0);
  EXPECT_EQ(key.QueryString("preferred", &data, 32), 0) << "31 characters and the terminator fit 32 bytes";
  ASSERT_EQ(key.SetString("preferred", text + "b"), 0);
  data = "untouched";
  EXPECT_EQ(key.QueryString("preferred", &data, 32), platform::kRegistryMoreData);
  EXPECT_EQ(data, "untouched");
  EXPECT_EQ(key.QueryString("MINIMIZED", &data, 32), 0) << "value names ignore case";
  EXPECT_EQ(data, "1");
  EXPECT_EQ(key.QueryString("absent", &data, 32), platform::kRegistryNotFound);
}

TEST_F(Registry, DwordsDeletionAndAccessRights) {
  RegistryKey writer;
  ASSERT_EQ(writer.Open(HKEY_CURRENT_USER, kProductKey, KEY_WRITE), 0);
  ASSERT_EQ(writer.SetDword("device", 0xDEADBEEF), 0);
  uint32_t value = 0;
  EXPECT_EQ(writer.QueryDword("device", &value), platform::kRegistryAccessDenied);
  RegistryKey reader;
  ASSERT_EQ(reader.Open(HKEY_CURRENT_USER, kProductKey, KEY_READ), 0);
  EXPECT_EQ(reader.QueryDword("device", &value), 0);
  EXPECT_EQ(value, 0xDEADBEEFu);
  EXPECT_EQ(reader.SetDword("device", 1), platform::kRegistryAccessDenied);
  EXPECT_EQ(writer.DeleteValue("device"), 0);
  EXPECT_EQ(writer.DeleteValue("device"), platform::kRegistryNotFound);
  EXPECT_EQ(reader.QueryDword("device", &value), platform::kRegistryNotFound);
}

TEST_F(Registry, TheFileIsReadableTextThatSurvivesAwkwardCharacters) {
  RegistryKey key;
  ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tonvex.exe"), 0);
  ASSERT_EQ(key.SetString("", "/opt/tonvex/bin/tonvex"), 0);
  const std::string awkward = "quote \" backslash \\ tab\t newline\n bracket ] ç\x01";
  ASSERT_EQ(key.SetString("odd \"name\"", awkward), 0);
  std::string file = ReadFile(platform::RegistryFilePath(HKEY_LOCAL_MACHINE));
  EXPECT_NE(file.find("[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tonvex.exe]\n"), std::string::npos);
  EXPECT_NE(file.find("@=\"/opt/tonvex/bin/tonvex\"\n"), std::string::npos);
  std::string text;
  ASSERT_EQ(key.QueryString("odd \"name\"", &text, 1024), 0);
  EXPECT_EQ(text, awkward);
  ASSERT_EQ(key.QueryString("", &text, 1024), 0);
  EXPECT_EQ(text, "/opt/tonvex/bin/tonvex");
}

TEST_F(Registry, ADamagedFileIsSetAsideAndDefaultsApply) {
  std::string path = platform::RegistryFilePath(HKEY_CURRENT_USER);
  WriteFile(path, "[Software\\Brevalto\\Tonvex]\n\"pending\"=\"1\"\ngarbage line\n");
  testing::internal::CaptureStderr();
  RegistryKey key;
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, kProductKey, KEY_READ), platform::kRegistryNotFound);
  std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_NE(warning.find("damaged"), std::string::npos);
  EXPECT_NE(warning.find("line 3"), std::string::npos);
  int backups = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root + "/user"))
    if (entry.path().filename().string().rfind("user.reg.damaged-", 0) == 0) {
      ++backups;
      EXPECT_NE(ReadFile(entry.path().string()).find("garbage line"), std::string::npos);
    }
  EXPECT_EQ(backups, 1);
  // The program goes on: the key can be created again and written.
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kProductKey), 0);
  EXPECT_EQ(key.SetString("pending", "0"), 0);
}

TEST_F(Registry, ParserRejectsWhatItCannotRepresent) {
  platform::RegistryDocument document;
  std::string error;
  for (const char* text : {"\"a\"=\"b\"\n", "[]\n", "[Key\n", "[Key]\n\"a\"=\"unterminated\n",
                           "[Key]\n\"a\"=dword:123456789\n", "[Key]\n\"a\"=\"x\\x00\"\n", "[Key]\n\"a\"=hex:00\n",
                           "[Key] trailing\n", "[Key]\n\"a\"=\"b\" c\n"}) {
    EXPECT_FALSE(platform::RegistryDocument::Parse(text, &document, &error)) << text;
  }
  ASSERT_TRUE(platform::RegistryDocument::Parse(
      "\xEF\xBB\xBF; comment\n# another\n\n  [A\\\\B\\]\r\n\"x\"=dword:ff\n@=\"d\"\n[a\\b]\n\"X\"=\"y\"\n", &document, &error))
      << error;
  ASSERT_EQ(document.Keys().size(), 1u) << "the same key twice is one key";
  EXPECT_EQ(document.Keys()[0].path, "A\\B");
  EXPECT_EQ(document.Find("a\\B", "x")->type, platform::REG_SZ) << "a later line replaces the value";
  EXPECT_EQ(document.Find("A\\B", "")->data, std::string("d\0", 2));
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
  // Threads of this process and forked processes write disjoint values at the same time.
  constexpr int kWriters = 4, kValues = 25;
  auto write = [](int writer) {
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kProductKey, KEY_WRITE) != 0) return false;
    for (int i = 0; i < kValues; ++i)
      if (key.SetString("w" + std::to_string(writer) + "_" + std::to_string(i), std::to_string(i)) != 0) return false;
    return true;
  };
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(write(writer) ? 0 : 1);
    children.push_back(child);
  }
  std::vector<std::thread> threads;
  std::vector<int> results(kWriters, 0);
  for (int writer = 2; writer < kWriters; ++writer) threads.emplace_back([&, writer] { results[writer] = write(writer); });
  for (std::thread& thread : threads) thread.join();
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int writer = 2; writer < kWriters; ++writer) EXPECT_TRUE(results[writer]);
  for (int writer = 0; writer < kWriters; ++writer)
    for (int i = 0; i < kValues; ++i)
      EXPECT_EQ(UserValue(std::string("w").append(std::to_string(writer)).append("_").append(std::to_string(i))),
                std::to_string(i));
}

}  // namespace
