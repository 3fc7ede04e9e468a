#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

// A helper process that outlives this one on purpose: it runs in its own session (a terminal's hang-up
// does not reach it), reads lines from a socket whose other end only this process holds, and acts when
// that end closes, which the kernel does however this process ends (exit, a signal, SIGKILL, a crash).
class GuardianLink {
 public:
  GuardianLink() = default;
  ~GuardianLink();  // Finish()
  GuardianLink(const GuardianLink&) = delete;
  GuardianLink& operator=(const GuardianLink&) = delete;

  // Starts `executable` with the socket as its standard input, its output to /dev/null, default signal
  // handling, `keepFd` (when >= 0) as its descriptor 3, and `name` as its argv[0] (the executable's path when
  // empty). With a `launcher` (a command that execs what follows it, looked for in PATH) the helper is started
  // through it, and `name` is left to the helper. False (with ErrorText) when it cannot start.
  bool Start(const std::string& executable, int keepFd = -1, const std::string& name = std::string(),
             const std::vector<std::string>& launcher = {});
  // One line to the helper (without its newline); never raises SIGPIPE.
  bool Send(const std::string& line);
  // Closes our end and waits at most timeoutMs for the helper to end; true when it ended with status 0.
  bool Finish(int timeoutMs = 3000);
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Whether the helper still runs; one that ended (killed, say) is reaped and forgotten, so Start makes a new
  // one. Never waits.
  bool Alive();
  // Whether the last helper that Alive found ended exited by itself, rather than by a signal: while our end is
  // open, that means it could not run (a launcher that refused it, say).
  bool ExitedByItself() const { return exitedByItself_; }
  const std::string& ErrorText() const { return error_; }

 private:
  pid_t pid_ = -1;
  bool exitedByItself_ = false;
  int socket_ = -1;
  std::string error_;
};

// `name` beside the running executable (the helpers are installed with the programs).
std::string ExecutableBesideSelf(const std::string& name);

// A launcher for GuardianLink::Start that puts the helper in a scope of its own under the user's service
// manager, so that a kill of this process's whole scope (an out-of-memory kill of the desktop session's
// application, say) does not take the helper with it. Empty when no user service manager can be reached.
std::vector<std::string> OwnScopeLauncher();

}  // namespace platform
