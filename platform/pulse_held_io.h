#pragma once
#include <pulse/mainloop-api.h>

namespace platform {

// A mainloop API over a real one whose watches for input can be held: while held, what the server sends to a
// connection (on its socket or its shared-memory channel) wakes nobody; it is read when the owner calls Service,
// or by the loop as soon as the hold ends. Hang-ups and errors still wake the loop, and watches for room to
// write, timers and deferred work pass straight through. Used on the loop's thread, or under its lock.
class HeldIoApi {
 public:
  explicit HeldIoApi(pa_mainloop_api* real);
  HeldIoApi(const HeldIoApi&) = delete;
  HeldIoApi& operator=(const HeldIoApi&) = delete;

  pa_mainloop_api* Api() { return &api_; }
  void Hold(bool held);
  bool Held() const { return held_; }
  // Runs the watches that have something to read now, once each, without waiting; returns how many ran.
  int Service();

 private:
  struct Watch;
  static HeldIoApi* Owner(pa_mainloop_api* api) { return static_cast<HeldIoApi*>(api->userdata); }
  static pa_io_event* IoNew(pa_mainloop_api* api, int fd, pa_io_event_flags_t events, pa_io_event_cb_t callback,
                            void* userdata);
  static void IoEnable(pa_io_event* event, pa_io_event_flags_t events);
  static void IoFree(pa_io_event* event);
  static void IoSetDestroy(pa_io_event* event, pa_io_event_destroy_cb_t callback);
  static void OnReady(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t events, void* watch);
  static void OnDestroyed(pa_mainloop_api*, pa_io_event*, void* watch);
  pa_io_event_flags_t Passed(pa_io_event_flags_t wanted) const;

  pa_mainloop_api* const real_;
  pa_mainloop_api api_;
  bool held_ = false;
  Watch* watches_ = nullptr;
};

}  // namespace platform
