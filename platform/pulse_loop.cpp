#include "platform/pulse_loop.h"

#include <pulse/rtclock.h>
#include <pulse/timeval.h>

#include <mutex>

#include "platform/debug_output.h"
#include "platform/realtime_priority.h"

namespace platform {

PulseLoop::PulseLoop(std::string threadName, bool realtime, bool paced)
    : mainloop_(pa_threaded_mainloop_new()), realtime_(realtime) {
  if (!mainloop_) return;
  // The system keeps 15 characters of a thread's name.
  pa_threaded_mainloop_set_name(mainloop_, threadName.substr(0, 15).c_str());
  if (paced) held_ = std::make_unique<HeldIoApi>(pa_threaded_mainloop_get_api(mainloop_));
}

pa_mainloop_api* PulseLoop::Api() { return held_ ? held_->Api() : pa_threaded_mainloop_get_api(mainloop_); }

void PulseLoop::BlockHandedOn(double periodUs) {
  if (!held_) return;
  pacer_.OnBlock(pa_rtclock_now(), periodUs);
  if (held_->Held()) return;
  held_->Hold(true);
  ArmTick();
}

void PulseLoop::ArmTick() {
  const pa_usec_t now = pa_rtclock_now();
  ArmLoopTimer(pa_threaded_mainloop_get_api(mainloop_), tick_, pacer_.TickAtUs() > now ? pacer_.TickAtUs() - now : 0,
               &PulseLoop::OnTick, this);
}

void PulseLoop::OnTick(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
  auto* self = static_cast<PulseLoop*>(userdata);
  // A socket hands over one message per read: a few passes take in what came since the last tick.
  for (int pass = 0; pass < 4 && self->held_->Service() > 0; ++pass) {}
  const bool pacing = self->pacer_.OnTick(pa_rtclock_now());
  self->held_->Hold(pacing);
  if (pacing) self->ArmTick();
}

PulseLoop::~PulseLoop() {
  if (!mainloop_) return;
  if (running_) pa_threaded_mainloop_stop(mainloop_);
  pa_threaded_mainloop_free(mainloop_);
}

bool PulseLoop::Start() {
  std::lock_guard<std::mutex> lock(startMutex_);
  if (!mainloop_) return false;
  if (running_) return true;
  running_ = pa_threaded_mainloop_start(mainloop_) >= 0;
  if (running_ && realtime_) {
    Post(
        [](pa_mainloop_api*, void*) {
          if (!RaiseToRealtime(kAudioThreadPriority))
            OutputDebugText("the audio thread runs at normal priority: the system allows no real-time scheduling");
        },
        nullptr);
  }
  return running_;
}

void PulseLoop::Post(void (*work)(pa_mainloop_api*, void*), void* data) {
  pa_threaded_mainloop_lock(mainloop_);
  pa_mainloop_api_once(pa_threaded_mainloop_get_api(mainloop_), work, data);
  pa_threaded_mainloop_unlock(mainloop_);
}

void ArmLoopTimer(pa_mainloop_api* api, pa_time_event*& timer, pa_usec_t delayUs, pa_time_event_cb_t callback,
                  void* userdata) {
  timeval when;
  pa_timeval_add(pa_gettimeofday(&when), delayUs);
  if (timer)
    api->time_restart(timer, &when);
  else
    timer = api->time_new(api, &when, callback, userdata);
}

std::shared_ptr<PulseLoop> SharedAudioLoop() {
  static std::mutex mutex;
  static std::weak_ptr<PulseLoop> shared;
  std::lock_guard<std::mutex> lock(mutex);
  std::shared_ptr<PulseLoop> loop = shared.lock();
  if (!loop) {
    loop = std::make_shared<PulseLoop>("Tonvex audio", true, true);
    shared = loop;
  }
  return loop;
}

}  // namespace platform
