#pragma once
#include <mutex>

namespace platform {

// A lock that can also be tried without waiting: the audio path only ever tries the locks that the
// user interface holds, so a busy lock costs a delayed update rather than a glitch.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

  // Satisfies BasicLockable so std::lock_guard and std::unique_lock work too.
  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

 private:
  std::mutex mutex_;
};

using Guard = std::lock_guard<CriticalSection>;

}  // namespace platform
