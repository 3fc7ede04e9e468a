#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/pulse_driver.h"
#include "platform/guardian_link.h"
#include "platform/instance_lock.h"
#include "platform/pulse_connection.h"

namespace audio {

// Where the default sink goes when the virtual device ends: the sink that was the default before the
// program took the role; when that was the virtual sink itself (left by a crash) or is gone, the output.
struct DesktopHandBack {
  std::string previousDefault;
  std::string output;
};

// The process name of the guardians (tonvex-guardian beside the executable): a pattern aimed at the program's
// name must not reach the processes that restore the desktop after it.
inline constexpr const char* kGuardName = "brevalto-guard";

// Gives the default role back while the virtual sink still holds it (a real sink the user chose meanwhile
// is left alone). False when the server could not be asked or told.
bool HandBackDefault(platform::PulseConnection& connection, const DesktopHandBack& handBack);
// Unloads the module of every sink described as the virtual device; true when none is left (another guardian
// may have unloaded one meanwhile; a sink that is a program's own graph node, with no module, goes with that
// program).
bool RemoveVirtualSinks(platform::PulseConnection& connection);

// The virtual device's life on the desktop, for the program that holds the instance lock. Begin starts two
// guardians (tonvex-guardian beside the executable), each of which puts the default sink back and removes the
// virtual sink when this process ends in any way, so the desktop is restored even when this process and one
// guardian are killed together; KeepGuarded replaces a guardian that died. A normal end does the same in
// order: HandBack before the engine stops, End after it. Where the user's service manager runs, the first
// guardian lives in a scope of its own, so even a kill of this process's whole scope leaves one behind.
class VirtualDeviceSession {
 public:
  explicit VirtualDeviceSession(platform::PulseConnection& control) : control_(control) {}
  ~VirtualDeviceSession() { End(); }

  // Remembers the default, starts the guardian, removes a virtual sink left by an earlier run when its
  // format does not suit `outputSink` (one that suits is adopted: the guardian removes it at the end).
  // False only when the guardian cannot start (`error` says why); the session goes on unguarded then.
  bool Begin(const platform::InstanceLock& lock, const std::string& outputSink, std::string* error);
  VirtualSinkFormat SinkFormat() const { return format_; }
  // Starts a new guardian in place of one that ended; call now and then (a check that never waits).
  void KeepGuarded();
  void HandBack();
  void End();

 private:
  bool StartGuardian(size_t index);

  platform::PulseConnection& control_;
  std::array<platform::GuardianLink, 2> guardians_;
  // Empty once a guardian started through it exited: the service manager would not take it.
  std::vector<std::string> ownScope_ = platform::OwnScopeLauncher();
  int lockFd_ = -1;
  DesktopHandBack handBack_;
  VirtualSinkFormat format_;
};

}  // namespace audio
