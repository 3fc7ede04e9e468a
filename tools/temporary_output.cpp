#include "tools/temporary_output.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/atomic_file.h"
#include "tools/cli_arguments.h"

namespace cli {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// What the signal handler needs, in storage it may touch: only unlink and raise happen there.
char pendingPath[PATH_MAX];
volatile sig_atomic_t pendingActive = 0;
struct sigaction previous[3];

void RemoveAndEnd(int signal) {
  if (pendingActive) ::unlink(pendingPath);
  pendingActive = 0;
  std::signal(signal, SIG_DFL);
  ::raise(signal);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string RandomLetters() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::mt19937 random{std::random_device{}()};
  std::string letters(6, 'x');
  for (char& c : letters) c = kLetters[random() % (sizeof kLetters - 1)];
  return letters;
}

// Why `path` cannot be replaced by a new file, or "" when it can: a rename over a device node or a pipe would
// take its name away from the system or from the program reading it.
std::string RefusalOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return "";
  if (S_ISDIR(info.st_mode)) return "it is a folder";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "it is a device, not a file; refused";
  if (S_ISFIFO(info.st_mode)) return "it is a pipe (FIFO), not a file; refused";
  return "it is not a regular file; refused";
}

}  // namespace

TemporaryOutput::TemporaryOutput(const std::string& target) : target_(platform::LinkTarget(target)) {
  // Written through a link to the file it names, which stays linked.
  if (const std::string refusal = RefusalOf(target_); !refusal.empty())
    throw RunError("cannot write " + target + ": " + refusal);
  // Held back until the handlers know the file, so no signal can end the process between the two.
  sigset_t signals, previousMask;
  sigemptyset(&signals);
  for (int signal : kSignals) sigaddset(&signals, signal);
  ::pthread_sigmask(SIG_BLOCK, &signals, &previousMask);
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    path_ = FolderOf(target_) + "/.tvx-" + RandomLetters();
    // 0666 under the user's umask, as any new file the user makes.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    error = fd < 0 ? errno : 0;
    if (fd >= 0) ::close(fd);
  }
  if (error || path_.size() >= sizeof pendingPath) {
    if (!error) ::unlink(path_.c_str());
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    throw RunError("cannot write " + target + ": " + std::strerror(error ? error : ENAMETOOLONG));
  }
  std::memcpy(pendingPath, path_.c_str(), path_.size() + 1);
  pendingActive = 1;
  struct sigaction action {};
  action.sa_handler = RemoveAndEnd;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &action, &previous[i]);
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
}

TemporaryOutput::~TemporaryOutput() {
  // Removed while the handlers still guard it: a signal in between finds nothing left to remove.
  if (!path_.empty()) ::unlink(path_.c_str());
  pendingActive = 0;
  for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
}

void TemporaryOutput::Commit() {
  const bool renamed = std::rename(path_.c_str(), target_.c_str()) == 0;
  const int error = errno;
  pendingActive = 0;
  if (renamed) path_.clear();
  if (!renamed) throw RunError("cannot write " + target_ + ": " + std::strerror(error));
}

}  // namespace cli
