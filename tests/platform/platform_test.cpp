#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/critical_section.h"
#include "platform/debug_output.h"
#include "platform/event.h"
#include "platform/string_table.h"
#include "platform/system_error.h"
#include "platform/thread.h"

namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;

TEST(Events, AutoResetReleasesOneWaitAndManualResetStaysSignalled) {
  Event automatic(Event::Mode::AutoReset);
  EXPECT_EQ(automatic.Wait(1), kWaitTimeout);
  automatic.Set();
  EXPECT_EQ(automatic.Wait(0), kWaitSignalled);
  EXPECT_EQ(automatic.Wait(0), kWaitTimeout);

  Event manual(Event::Mode::ManualReset);
  manual.Set();
  EXPECT_EQ(manual.Wait(0), kWaitSignalled);
  EXPECT_EQ(manual.Wait(0), kWaitSignalled);
  manual.Reset();
  EXPECT_EQ(manual.Wait(0), kWaitTimeout);
}

TEST(Events, WaitTimesOutAfterItsTimeAndWakesOnSetFromAnotherThread) {
  Event event(Event::Mode::AutoReset);
  auto start = Clock::now();
  EXPECT_EQ(event.Wait(30), kWaitTimeout);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));

  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.Set();
  });
  EXPECT_EQ(event.Wait(5000), kWaitSignalled);
  setter.join();
}

TEST(Events, NamedEventsMeetByNameWhileSomebodyHoldsThem) {
  EXPECT_EQ(OpenNamedEvent("TestNamedEvent"), nullptr);
  auto created = CreateNamedEvent("TestNamedEvent", Event::Mode::ManualReset, false);
  auto opened = OpenNamedEvent("TestNamedEvent");
  ASSERT_EQ(opened, created);
  EXPECT_EQ(CreateNamedEvent("TestNamedEvent", Event::Mode::AutoReset, true), created);
  opened->Set();
  EXPECT_EQ(created->Wait(0), kWaitSignalled);
  created.reset();
  opened.reset();
  EXPECT_EQ(OpenNamedEvent("TestNamedEvent"), nullptr);
}

TEST(Threads, ExitCodeIsStillActiveUntilTheProcedureReturns) {
  Thread thread;
  uint32_t code = 0;
  EXPECT_FALSE(thread.GetExitCode(&code));
  Event release(Event::Mode::ManualReset);
  ASSERT_TRUE(thread.Start([&] {
    release.Wait(10000);
    return 7u;
  }));
  EXPECT_FALSE(thread.Start([] { return 0u; }));
  ASSERT_TRUE(thread.GetExitCode(&code));
  EXPECT_EQ(code, kStillActive);
  release.Set();
  WaitForThreadEnd(thread);
  ASSERT_TRUE(thread.GetExitCode(&code));
  EXPECT_EQ(code, 7u);
}

TEST(Threads, WaitForThreadEndGivesUpAfterItsSteps) {
  Thread thread;
  Event release(Event::Mode::ManualReset);
  thread.Start([&] {
    release.Wait(10000);
    return 1u;
  });
  auto start = Clock::now();
  WaitForThreadEnd(thread, 3);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
  release.Set();
}

TEST(CriticalSections, TryEnterFailsWhileAnotherThreadHoldsTheLock) {
  CriticalSection lock;
  lock.Enter();
  bool acquired = true;
  std::thread other([&] { acquired = lock.TryEnter(); });
  other.join();
  EXPECT_FALSE(acquired);
  lock.Leave();
  std::thread again([&] {
    acquired = lock.TryEnter();
    if (acquired) lock.Leave();
  });
  again.join();
  EXPECT_TRUE(acquired);
}

TEST(SystemErrors, KnownCodesUseTheSystemTextAndUnknownOnesTheFallback) {
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(SystemErrorText(0x12345), "Unknown error code 00012345 (9029)");
}

TEST(DebugOutput, CanBeCaptured) {
  std::string seen;
  SetDebugOutputSink([&](const std::string& text) { seen = text; });
  OutputDebugText("hello");
  SetDebugOutputSink({});
  EXPECT_EQ(seen, "hello");
}

TEST(StringTable, FollowsTheInterfaceLanguage) {
  SetUiLanguage(kLanguagePortuguese);
  EXPECT_EQ(LoadString(61463), "Nenhum driver instalado.");
  SetUiLanguage(kLanguageEnglish);
  EXPECT_EQ(LoadString(61463), "No driver instaled.");
  EXPECT_EQ(LoadString(999999), "");
}

}  // namespace
