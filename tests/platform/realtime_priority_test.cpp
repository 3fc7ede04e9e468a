#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "platform/pulse_loop.h"
#include "platform/realtime_priority.h"

namespace {

int PolicyOfThisThread() { return sched_getscheduler(0) & ~SCHED_RESET_ON_FORK; }

// Whether this process may use real-time scheduling at all (root, or a real-time limit), found on a
// throwaway thread so the test's own thread keeps its scheduling.
bool RealtimeAllowed() {
  bool allowed = false;
  std::thread([&] { allowed = platform::RaiseToRealtime(platform::kAudioThreadPriority); }).join();
  return allowed;
}

int PolicyOnLoopThreadOnce(platform::PulseLoop& loop) {
  std::promise<int> policy;
  loop.Post([](pa_mainloop_api*, void* promise) { static_cast<std::promise<int>*>(promise)->set_value(PolicyOfThisThread()); },
            &policy);
  return policy.get_future().get();
}

// The loop may run work queued together in any order; a second question is answered after everything
// queued before the first (the loop's own start-up work included).
int PolicyOnLoopThread(platform::PulseLoop& loop) {
  PolicyOnLoopThreadOnce(loop);
  return PolicyOnLoopThreadOnce(loop);
}

TEST(RealtimePriority, RaisesOnlyTheCallingThreadAndNotItsChildren) {
  const bool allowed = RealtimeAllowed();
  std::thread([&] {
    const bool raised = platform::RaiseToRealtime(platform::kAudioThreadPriority);
    EXPECT_EQ(raised, allowed);
    EXPECT_EQ(PolicyOfThisThread(), raised ? SCHED_FIFO : SCHED_OTHER);
    if (!raised) return;
    sched_param parameters{};
    int policy = 0;
    pthread_getschedparam(pthread_self(), &policy, &parameters);
    EXPECT_EQ(parameters.sched_priority, platform::kAudioThreadPriority);
    // A helper program started from the audio thread must not inherit its priority.
    const pid_t child = fork();
    if (child == 0) _exit(sched_getscheduler(0) == SCHED_OTHER ? 0 : 1);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }).join();
  EXPECT_EQ(PolicyOfThisThread(), SCHED_OTHER);
}

TEST(RealtimePriority, RefusesAPriorityOutOfRangeAndLeavesTheThreadAsItWas) {
  std::thread([] {
    EXPECT_FALSE(platform::RaiseToRealtime(sched_get_priority_max(SCHED_FIFO) + 1));
    EXPECT_FALSE(platform::RaiseToRealtime(0));
    EXPECT_EQ(PolicyOfThisThread(), SCHED_OTHER);
  }).join();
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
