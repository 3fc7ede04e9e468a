#pragma once
#include <mutex>

#include "platform/thread_annotations.h"

namespace platform {

// A lock that can also be tried without waiting: the audio path only ever tries the locks that the
// user interface holds, so a busy lock costs a delayed update rather than a glitch.
class CAPABILITY("mutex") CriticalSection {
 public:
  void Enter() ACQUIRE() { mutex_.lock(); }
  bool TryEnter() TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  void Leave() RELEASE() { mutex_.unlock(); }

  // Satisfies BasicLockable so std::unique_lock works too.
  void lock() ACQUIRE() { Enter(); }
  bool try_lock() TRY_ACQUIRE(true) { return TryEnter(); }
  void unlock() RELEASE() { Leave(); }

 private:
  std::mutex mutex_;
};

// Holds a CriticalSection for its own lifetime.
class SCOPED_CAPABILITY Guard {
 public:
  explicit Guard(CriticalSection& lock) ACQUIRE(lock) : lock_(lock) { lock_.Enter(); }
  ~Guard() RELEASE() { lock_.Leave(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  CriticalSection& lock_;
};

}  // namespace platform
