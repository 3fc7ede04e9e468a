#include "platform/realtime_priority.h"

#include <pthread.h>
#include <sched.h>

namespace platform {

bool RaiseToRealtime(int priority) {
  sched_param parameters{};
  parameters.sched_priority = priority;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &parameters) == 0;
}

}  // namespace platform
