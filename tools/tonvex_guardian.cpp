// tonvex-guardian: started by the program that owns the virtual device, in a session of its own. It learns
// where the default sink goes back to from lines on its standard input ("previous SINK", "output SINK") and,
// when that input closes (the program ended, however it ended), puts the desktop's sound back: the default
// sink leaves the virtual device and the virtual sink is removed. Its descriptor 3 keeps the program's
// instance lock until that is done, so a new instance never meets a half-restored desktop.
// The program keeps two of them and replaces one that dies, so a kill of the program and one guardian still
// restores the desktop. Their process name (argv[0] and the kernel's name) is kGuardName, which a
// `pkill tonvex` or `pkill -f tonvex` aimed at the program does not match.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/virtual_device_session.h"
#include "platform/pulse_connection.h"

namespace {

constexpr int kConnectMs = 1500;

}  // namespace

int main(int, char** argv) {
  // Started through a launcher, argv[0] is this file's path: start again under the guardian's own name (the
  // same process, so the socket and the kept lock stay). The kernel's name comes from the file's.
  if (!argv[0] || std::strcmp(argv[0], audio::kGuardName) != 0) {
    char* named[] = {const_cast<char*>(audio::kGuardName), nullptr};
    execv("/proc/self/exe", named);
  }
  prctl(PR_SET_NAME, audio::kGuardName, 0, 0, 0);
  // Hang-ups and interrupts are meant for the program; this process must outlive them.
  signal(SIGHUP, SIG_IGN);
  signal(SIGINT, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  // Whatever else the program left open (its server connection's shared memory, pipes of whoever started
  // it) must not be held up by this process.
  close_range(4, ~0U, 0);

  audio::DesktopHandBack handBack;
  std::string pending;
  char buffer[512];
  for (;;) {
    const ssize_t got = read(0, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the program's end closed the socket (or it was never there)
    pending.append(buffer, size_t(got));
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      const std::string line = pending.substr(0, end);
      const size_t space = line.find(' ');
      const std::string word = line.substr(0, space);
      const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
      if (word == "previous")
        handBack.previousDefault = value;
      else if (word == "output")
        handBack.output = value;
    }
  }

  platform::PulseConnection connection("Tonvex guardian", {});
  if (!connection.Start() || !connection.WaitReady(kConnectMs)) return 1;  // no server: nothing left to restore
  const bool restored = audio::HandBackDefault(connection, handBack);
  const bool removed = audio::RemoveVirtualSinks(connection);
  if (!restored || !removed) std::fprintf(stderr, "tonvex-guardian: could not restore the default sink\n");
  return restored && removed ? 0 : 1;
}
