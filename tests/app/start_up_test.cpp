// The desktop program's start: command lines, the "/F" file, the update swap, and a refused second start.
#include "app/start_up.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "app/tonvex_app.h"
#include "platform/instance_lock.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/string_ids.h"
#include "tests/support/files.h"
#include "tests/support/scripted_prompt.h"

namespace {

namespace fs = std::filesystem;
using Kind = desktop::CommandLine::Kind;
using namespace testing_support;

TEST(CommandLine, KindsAndFiles) {
  const struct {
    std::vector<std::string> arguments;
    Kind kind;
    std::string file;
  } cases[] = {
      {{}, Kind::kNormal, ""},
      {{"/S"}, Kind::kRelaunched, ""},
      {{"/s"}, Kind::kRefuse, ""},
      {{"x.tvd"}, Kind::kRefuse, ""},
      {{"/F", "rock.tvd"}, Kind::kFile, "/home/u/rock.tvd"},
      {{"/F", "/tmp/rock.tvd"}, Kind::kFile, "/tmp/rock.tvd"},
      {{"/F", "../a b.tva"}, Kind::kFile, "/home/u/../a b.tva"},
      {{"/F", ".tvd"}, Kind::kRefuse, ""},
      {{"/X", "rock.tvd"}, Kind::kRefuse, ""},
      {{"/F", "a.tvd", "b.tvd"}, Kind::kRefuse, ""},
  };
  for (const auto& c : cases) {
    const desktop::CommandLine line = desktop::ParseCommandLine(c.arguments, "/home/u");
    EXPECT_EQ(line.kind, c.kind) << testing::PrintToString(c.arguments);
    EXPECT_EQ(line.file, c.file) << testing::PrintToString(c.arguments);
  }
}

TEST(CommandLine, FileArgumentDecidesTheStart) {
  const struct {
    const char* file;
    bool running;
    int imported;
    bool starts;
    int importCalls, messageId;  // messageId 0: none
  } cases[] = {
      {"/p/me.TVA", false, 1, true, 0, 61489}, {"/p/me.tva", true, 1, false, 0, 61489},
      {"/p/rock.tvd", false, 1, true, 1, 0},   {"/p/rock.tvd", true, 1, false, 1, 61488},
      {"/p/rock.tvd", true, 0, false, 1, 0},   {"/p/rock.tvd", false, -1, false, 1, 0},
      {"/p/rock.wav", true, 1, false, 1, 0},
  };
  for (const auto& c : cases) {
    testing_support::ScriptedPrompt prompt;
    if (c.messageId) prompt.Answer(platform::PromptAnswer::Ok);
    int calls = 0;
    const bool starts = desktop::TakeFileArgument(
        c.file, c.running, [&](const std::string&) { return ++calls, c.imported; }, prompt);
    EXPECT_EQ(starts, c.starts) << c.file << " running " << c.running;
    EXPECT_EQ(calls, c.importCalls) << c.file;
    ASSERT_EQ(prompt.messages.size(), c.messageId ? 1u : 0u) << c.file;
    if (c.messageId) { EXPECT_EQ(prompt.messages[0].text, platform::LoadString(c.messageId)); }
  }
}

TEST(UpdateSwap, ReplacesKeepsOrRefuses) {
  ScratchDir dir;
  const fs::path folder = dir.path;
  WriteText(dir.File("tonvex"), "old");
  EXPECT_EQ(desktop::SwapUpdate(folder), desktop::UpdateSwap::kNone);

  WriteText(dir.File("tonvex.new"), "new");
  EXPECT_EQ(desktop::SwapUpdate(folder), desktop::UpdateSwap::kRelaunch);
  EXPECT_EQ(ReadText(dir.File("tonvex")), "new");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"tonvex"});

  // The program cannot be moved aside: everything stays as it was.
  fs::remove(folder / "tonvex");
  WriteText(dir.File("tonvex.new"), "newer");
  EXPECT_EQ(desktop::SwapUpdate(folder), desktop::UpdateSwap::kRefuse);
  EXPECT_EQ(ReadText(dir.File("tonvex.new")), "newer");

  // A folder the user cannot write (a packaged install) is left alone. Root writes everywhere.
  WriteText(dir.File("tonvex"), "old");
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  if (geteuid() != 0) {
    EXPECT_EQ(desktop::SwapUpdate(folder), desktop::UpdateSwap::kNone);
    EXPECT_EQ(ReadText(dir.File("tonvex")), "old");
  }
  fs::permissions(folder, fs::perms::owner_all);
}

// A second start while one runs says so and ends, having written no setting. A lock that cannot be made (the
// runtime folder is not a folder here, which stops root too) is said, in the interface's language and on
// stderr, instead of a silent exit.
TEST(SecondInstance, RefusedStartChangesNothingAndALockThatCannotBeMadeIsSaid) {
  ScratchDir scratch;
  const fs::path home = scratch.path;
  setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, (home / "user").string());
  platform::SetRegistryFolder(platform::HKEY_LOCAL_MACHINE, (home / "machine").string());
  platform::InstanceLock running;
  ASSERT_EQ(running.Acquire(), platform::InstanceLock::Result::kAcquired);
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, {"/S"}}) {
    testing_support::ScriptedPrompt prompt;
    prompt.Answer(platform::PromptAnswer::Ok);
    desktop::CTonvexApp second(arguments, home.string(), &prompt);
    second.relaunchWaitMs = 200;
    EXPECT_FALSE(second.InitInstance());
    EXPECT_TRUE(second.AlreadyRunning());
    second.ExitInstance();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, platform::LoadString(61450));
  }
  EXPECT_FALSE(fs::exists(home / "user") && !fs::is_empty(home / "user"));
  const fs::path notAFolder = home / "run";
  WriteText(notAFolder, "");
  setenv("XDG_RUNTIME_DIR", notAFolder.c_str(), 1);
  for (const int language : {platform::kLanguageEnglish, platform::kLanguagePortuguese}) {
    {
      platform::RegistryKey machine;
      ASSERT_EQ(machine.Create(platform::HKEY_LOCAL_MACHINE, platform::LoadString(settings::kStringProductKey)), 0);
      machine.SetString("language", std::to_string(language));
    }
    testing_support::ScriptedPrompt prompt;
    desktop::CTonvexApp start({}, home.string(), &prompt);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(start.InitInstance());
    EXPECT_EQ(platform::UiLanguage(), language);
    const std::string errors = testing::internal::GetCapturedStderr();
    start.ExitInstance();
    ASSERT_EQ(prompt.messages.size(), 1u);
    const std::string& text = prompt.messages[0].text;
    EXPECT_EQ(text.rfind(platform::LoadString(61531), 0), 0u) << text;
    EXPECT_NE(text.find((notAFolder / "tonvex.lock").string()), std::string::npos) << text;
    EXPECT_NE(errors.find((notAFolder / "tonvex.lock").string()), std::string::npos) << errors;
  }
  platform::SetUiLanguage(platform::kLanguageEnglish);
}

}  // namespace
