#pragma once

namespace platform {

// The audio thread's real-time priority: under the audio server's own threads (PulseAudio's run at 5,
// PipeWire's at 20 through RealtimeKit or 88 by default), whose work it waits on, and above every
// ordinary thread, so a busy window, a compositor or a build cannot make it late.
inline constexpr int kAudioThreadPriority = 4;

// Moves the calling thread to first-in-first-out real-time scheduling at `priority`; children forked from
// it start with ordinary scheduling. False, and the thread left as it was, when the system does not allow
// it (a user without a real-time limit, a container without the capability).
bool RaiseToRealtime(int priority);

}  // namespace platform
