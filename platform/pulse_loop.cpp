#include "platform/pulse_loop.h"

#include <mutex>

#include "platform/debug_output.h"
#include "platform/realtime_priority.h"

namespace platform {

PulseLoop::PulseLoop(std::string threadName, bool realtime)
    : mainloop_(pa_threaded_mainloop_new()), realtime_(realtime) {
  // The system keeps 15 characters of a thread's name.
  if (mainloop_) pa_threaded_mainloop_set_name(mainloop_, threadName.substr(0, 15).c_str());
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

std::shared_ptr<PulseLoop> SharedAudioLoop() {
  static std::mutex mutex;
  static std::weak_ptr<PulseLoop> shared;
  std::lock_guard<std::mutex> lock(mutex);
  std::shared_ptr<PulseLoop> loop = shared.lock();
  if (!loop) {
    loop = std::make_shared<PulseLoop>("Tonvex audio", true);
    shared = loop;
  }
  return loop;
}

}  // namespace platform
