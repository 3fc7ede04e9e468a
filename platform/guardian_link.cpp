#include "platform/guardian_link.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern char** environ;

namespace platform {

GuardianLink::~GuardianLink() { Finish(); }

bool GuardianLink::Start(const std::string& executable, int keepFd, const std::string& name,
                         const std::vector<std::string>& launcher) {
  if (pid_ > 0) return true;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    error_ = std::string("socketpair: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 0);  // dup2 drops close-on-exec on the copy
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Our blocked stop signals must not stay blocked in the helper, and its own session keeps it out of the
  // terminal's process group.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (const std::string& word : launcher) argv.push_back(const_cast<char*>(word.c_str()));
  const std::string& shown = name.empty() || !launcher.empty() ? executable : name;
  argv.push_back(const_cast<char*>(shown.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = launcher.empty()
                         ? posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), environ)
                         : posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(ends[1]);
  if (failed != 0) {
    close(ends[0]);
    error_ = std::string(argv[0]) + ": " + std::strerror(failed);
    return false;
  }
  pid_ = pid;
  socket_ = ends[0];
  return true;
}

bool GuardianLink::Alive() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == 0) return true;
  exitedByItself_ = WIFEXITED(status);
  close(socket_);
  socket_ = -1;
  pid_ = -1;
  return false;
}

bool GuardianLink::Send(const std::string& line) {
  if (socket_ < 0) return false;
  const std::string text = line + "\n";
  size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(socket_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

bool GuardianLink::Finish(int timeoutMs) {
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
  if (pid_ <= 0) return false;
  int status = 0;
  for (int waited = 0;; waited += 10) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno != EINTR)) break;
    if (waited >= timeoutMs) {
      // Still at work: it finishes on its own and init reaps it.
      pid_ = -1;
      return false;
    }
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  pid_ = -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ExecutableBesideSelf(const std::string& name) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return name;
  std::string path(self, size_t(length));
  return path.substr(0, path.rfind('/') + 1) + name;
}

std::vector<std::string> OwnScopeLauncher() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat manager;
  if (!runtime || stat((std::string(runtime) + "/systemd/private").c_str(), &manager) != 0 ||
      !S_ISSOCK(manager.st_mode))
    return {};
  // systemd-run execs the command in the new scope, so the socket and the kept descriptor go with it.
  return {"systemd-run", "--user", "--scope", "--quiet", "--collect", "--description=Tonvex guardian", "--"};
}

}  // namespace platform
