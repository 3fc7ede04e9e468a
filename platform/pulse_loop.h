#pragma once
#include <pulse/pulseaudio.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/block_pacer.h"
#include "platform/pulse_held_io.h"

namespace platform {

// A libpulse mainloop thread, which several connections may share: work that passes from one connection to
// another (sound captured on one, processed and played on the other) then stays on one thread, with no
// thread to wake in between. The thread runs from the first Start until the loop is destroyed.
class PulseLoop {
 public:
  // A `realtime` loop asks for real-time scheduling of its thread when it starts (see realtime_priority.h).
  // A `paced` one wakes once a block while captured sound streams through it (see BlockPacer).
  explicit PulseLoop(std::string threadName, bool realtime = false, bool paced = false);
  ~PulseLoop();
  PulseLoop(const PulseLoop&) = delete;
  PulseLoop& operator=(const PulseLoop&) = delete;

  // Starts the thread (once, whoever asks first); false when libpulse cannot.
  bool Start();
  pa_threaded_mainloop* Mainloop() const { return mainloop_; }
  // The API the connections on this loop are made with: on a paced loop, one whose input can be held.
  pa_mainloop_api* Api();
  // A block of captured sound has been handed on; blocks last `periodUs`. Loop thread.
  void BlockHandedOn(double periodUs);
  // Runs `work` once on the loop's thread, soon; work queued together may run in any order.
  void Post(void (*work)(pa_mainloop_api*, void*), void* data);

 private:
  static void OnTick(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self);
  void ArmTick();

  pa_threaded_mainloop* mainloop_ = nullptr;
  std::unique_ptr<HeldIoApi> held_;  // paced loops only
  BlockPacer pacer_;
  pa_time_event* tick_ = nullptr;
  std::mutex startMutex_;
  bool running_ = false;
  bool realtime_ = false;
};

// Sets `timer` to fire `delayUs` from now, making it on `api` at the first call. libpulse's loops take a time of
// day and turn it into their monotonic clock as the timer is set, so a clock step later moves nothing.
void ArmLoopTimer(pa_mainloop_api* api, pa_time_event*& timer, pa_usec_t delayUs, pa_time_event_cb_t callback,
                  void* userdata);

// One loop for the program's audio path, shared by whoever asks while it lives; real-time where allowed.
std::shared_ptr<PulseLoop> SharedAudioLoop();

}  // namespace platform
