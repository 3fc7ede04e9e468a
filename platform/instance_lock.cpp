#include "platform/instance_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform {
namespace {

constexpr int kRetryMs = 50;

pid_t ReadHolder(int fd) {
  char text[32] = {};
  const ssize_t got = pread(fd, text, sizeof text - 1, 0);
  if (got <= 0) return 0;
  return pid_t(std::atol(text));
}

bool ProcessAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// A folder in /tmp could be made beforehand by someone else to watch or block the lock: use it only
// when it is ours and closed to others.
bool PrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info;
  return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
         (info.st_mode & 077) == 0;
}

}  // namespace

std::string InstanceLock::DefaultPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return std::string(runtime) + "/tonvex.lock";
  const std::string folder = "/tmp/tonvex-" + std::to_string(getuid());
  return PrivateFolder(folder) ? folder + "/tonvex.lock" : std::string();
}

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock() { Release(); }

InstanceLock::Result InstanceLock::Acquire(int cleanupWaitMs) {
  if (fd_ >= 0) return Result::kAcquired;
  holder_ = 0;
  error_.clear();
  if (path_.empty()) {
    error_ = "no private folder for the lock file";
    return Result::kFailed;
  }
  const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error_ = path_ + ": " + std::strerror(errno);
    return Result::kFailed;
  }
  for (int waited = 0;; waited += kRetryMs) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error_ = path_ + ": " + std::strerror(errno);
      close(fd);
      return Result::kFailed;
    }
    holder_ = ReadHolder(fd);
    // A live holder is a running instance; a dead one left its guardian restoring the desktop.
    if (ProcessAlive(holder_) || waited >= cleanupWaitMs) {
      close(fd);
      return Result::kHeldByOther;
    }
    struct timespec pause = {0, kRetryMs * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) != ssize_t(pid.size())) {
    // The lock itself holds; only the holder's name for a refused second instance is missing.
  }
  fd_ = fd;
  holder_ = getpid();
  return Result::kAcquired;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  close(fd_);  // the lock goes with the last descriptor of this open file
  fd_ = -1;
}

}  // namespace platform
