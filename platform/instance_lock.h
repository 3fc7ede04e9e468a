#pragma once
#include <sys/types.h>

#include <string>

namespace platform {

// One Tonvex per user: `tonvex-cli live` and the desktop program hold the same lock while they own the
// virtual device, so a second one cannot double the sound or fight over the default sink. The lock is an
// flock on a file that also names the holder's process id. The holder's guardian (which restores the desktop
// after a crash) inherits the descriptor, so the lock is free only once the desktop has been put back.
class InstanceLock {
 public:
  enum class Result { kAcquired, kHeldByOther, kFailed };

  // $XDG_RUNTIME_DIR/tonvex.lock; without a runtime folder /tmp/tonvex-UID/tonvex.lock in a folder that
  // only this user owns.
  static std::string DefaultPath();

  explicit InstanceLock(std::string path = DefaultPath());
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock without waiting for a running instance. When the holder's process is gone but the lock
  // is still held (its guardian is putting the desktop back), waits at most cleanupWaitMs for it.
  Result Acquire(int cleanupWaitMs = 3000);
  void Release();
  bool Held() const { return fd_ >= 0; }
  // The open lock file while held; a child that must keep the lock alive inherits it.
  int Descriptor() const { return fd_; }
  // After kHeldByOther: the process id the holder wrote (0 when unknown); after kFailed: what went wrong.
  pid_t Holder() const { return holder_; }
  const std::string& ErrorText() const { return error_; }

 private:
  std::string path_;
  int fd_ = -1;
  pid_t holder_ = 0;
  std::string error_;
};

}  // namespace platform
