#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/event.h"

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

}  // namespace
