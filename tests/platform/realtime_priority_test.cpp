#include "platform/realtime_priority.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "tests/platform/scheduling.h"

namespace {

using scheduling::PolicyOfThisThread;
using scheduling::RealtimeAllowed;

// A priority out of range is refused and leaves the thread as it was; a valid one raises only the calling
// thread, and not the programs it starts.
TEST(RealtimePriority, RefusesOutOfRangeAndRaisesOnlyTheCallingThreadAndNotItsChildren) {
  const bool allowed = RealtimeAllowed();
  std::thread([&] {
    EXPECT_FALSE(platform::RaiseToRealtime(sched_get_priority_max(SCHED_FIFO) + 1));
    EXPECT_FALSE(platform::RaiseToRealtime(0));
    EXPECT_EQ(PolicyOfThisThread(), SCHED_OTHER);
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

}  // namespace
