#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/event.h"
#include "platform/string_table.h"

namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;

TEST(Events, AutoResetReleasesOneWaitManualResetStaysSignalledAndWaitsTimeOut) {
  Event automatic(Event::Mode::AutoReset);
  auto start = Clock::now();
  EXPECT_EQ(automatic.Wait(30), kWaitTimeout);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    automatic.Set();
  });
  EXPECT_EQ(automatic.Wait(5000), kWaitSignalled);
  setter.join();
  EXPECT_EQ(automatic.Wait(0), kWaitTimeout);

  Event manual(Event::Mode::ManualReset);
  manual.Set();
  EXPECT_EQ(manual.Wait(0), kWaitSignalled);
  EXPECT_EQ(manual.Wait(0), kWaitSignalled);
  manual.Reset();
  EXPECT_EQ(manual.Wait(0), kWaitTimeout);
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

TEST(StringTable, FollowsTheInterfaceLanguage) {
  SetUiLanguage(kLanguagePortuguese);
  const std::string portuguese = LoadString(61463);
  SetUiLanguage(kLanguageEnglish);
  EXPECT_NE(LoadString(61463), portuguese);
  EXPECT_FALSE(portuguese.empty());
  EXPECT_EQ(LoadString(999999), "");
}

}  // namespace
