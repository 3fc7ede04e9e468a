#pragma once
#include <sched.h>

#include <thread>

#include "platform/realtime_priority.h"

namespace scheduling {

inline int PolicyOfThisThread() { return sched_getscheduler(0) & ~SCHED_RESET_ON_FORK; }

// Whether this process may use real-time scheduling at all (root, or a real-time limit), found on a
// throwaway thread so the test's own thread keeps its scheduling.
inline bool RealtimeAllowed() {
  bool allowed = false;
  std::thread([&] { allowed = platform::RaiseToRealtime(platform::kAudioThreadPriority); }).join();
  return allowed;
}

}  // namespace scheduling
