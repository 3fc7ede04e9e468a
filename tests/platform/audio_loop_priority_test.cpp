#include <gtest/gtest.h>
#include <sched.h>

#include <future>

#include "platform/pulse_loop.h"
#include "tests/platform/scheduling.h"

namespace {

using scheduling::PolicyOfThisThread;
using scheduling::RealtimeAllowed;

int PolicyOnLoopThreadOnce(platform::PulseLoop& loop) {
  std::promise<int> policy;
  loop.Post([](pa_mainloop_api*,
               void* promise) { static_cast<std::promise<int>*>(promise)->set_value(PolicyOfThisThread()); },
            &policy);
  return policy.get_future().get();
}

// The loop may run work queued together in any order; a second question is answered after everything
// queued before the first (the loop's own start-up work included).
int PolicyOnLoopThread(platform::PulseLoop& loop) {
  PolicyOnLoopThreadOnce(loop);
  return PolicyOnLoopThreadOnce(loop);
}

TEST(RealtimePriority, OnlyTheAudioLoopRunsInRealTime) {
  const bool allowed = RealtimeAllowed();
  std::shared_ptr<platform::PulseLoop> audio = platform::SharedAudioLoop();
  ASSERT_TRUE(audio->Start());
  EXPECT_EQ(PolicyOnLoopThread(*audio), allowed ? SCHED_FIFO : SCHED_OTHER);

  platform::PulseLoop control("Tonvex control");
  ASSERT_TRUE(control.Start());
  EXPECT_EQ(PolicyOnLoopThread(control), SCHED_OTHER);
  EXPECT_EQ(PolicyOfThisThread(), SCHED_OTHER);
}

}  // namespace
