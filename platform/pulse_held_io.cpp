#include "platform/pulse_held_io.h"

#include <poll.h>

#include <array>
#include <cstddef>

namespace platform {

// Every event made through this API is a small record around the real loop's event: libpulse checks that its
// callbacks are handed the API it was made with, so each callback goes through here to be given this one.
// The real loop frees an event, and calls its destroy callback, only once it is done dispatching: a record
// lives until then, so a Service pass that has one in hand never touches freed memory.
struct HeldIoApi::Watch {
  HeldIoApi* owner;
  pa_io_event* real;
  int fd;
  pa_io_event_flags_t wanted;
  pa_io_event_cb_t callback;
  void* userdata;
  pa_io_event_destroy_cb_t destroy = nullptr;
  bool dead = false;
  Watch* next = nullptr;
};

namespace {

// A timer's or a deferred event's record: `Extra` are what its callback gets besides the API, the event and the
// user's data (a timer's time).
template <typename RealEvent, typename... Extra>
struct Wrapped {
  using Callback = void (*)(pa_mainloop_api*, RealEvent*, Extra..., void*);
  using Destroy = void (*)(pa_mainloop_api*, RealEvent*, void*);

  pa_mainloop_api* api;  // the API the event was made with, which its callbacks are handed
  pa_mainloop_api* real;
  Callback callback;
  void* userdata;
  RealEvent* event = nullptr;
  Destroy destroy = nullptr;

  static Wrapped* Of(RealEvent* event) { return reinterpret_cast<Wrapped*>(event); }
  RealEvent* AsEvent() { return reinterpret_cast<RealEvent*>(this); }

  // Makes the record and, with `makeReal(forward, record)`, the real event whose callbacks come to it; null when
  // the real loop makes none. `setDestroy(real event, callback)` is the real loop's way to be told when it frees one.
  template <typename MakeReal, typename SetDestroy>
  static RealEvent* New(pa_mainloop_api* api, pa_mainloop_api* real, Callback callback, void* userdata,
                        MakeReal makeReal, SetDestroy setDestroy) {
    auto* record = new Wrapped{api, real, callback, userdata};
    record->event = makeReal(&Forward, record);
    if (!record->event) {
      delete record;
      return nullptr;
    }
    setDestroy(record->event, &Destroyed);
    return record->AsEvent();
  }

  static void Forward(pa_mainloop_api*, RealEvent*, Extra... extra, void* self) {
    auto* record = static_cast<Wrapped*>(self);
    record->callback(record->api, record->AsEvent(), extra..., record->userdata);
  }

  static void Destroyed(pa_mainloop_api*, RealEvent*, void* self) {
    auto* record = static_cast<Wrapped*>(self);
    if (record->destroy) record->destroy(record->api, record->AsEvent(), record->userdata);
    delete record;
  }
};
using Timer = Wrapped<pa_time_event, const timeval*>;
using Deferred = Wrapped<pa_defer_event>;

}  // namespace

HeldIoApi::HeldIoApi(pa_mainloop_api* real) : real_(real), api_(*real) {
  api_.userdata = this;
  api_.io_new = &HeldIoApi::IoNew;
  api_.io_enable = &HeldIoApi::IoEnable;
  api_.io_free = &HeldIoApi::IoFree;
  api_.io_set_destroy = &HeldIoApi::IoSetDestroy;

  api_.time_new = [](pa_mainloop_api* api, const timeval* when, pa_time_event_cb_t callback,
                     void* userdata) -> pa_time_event* {
    pa_mainloop_api* real = Owner(api)->real_;
    return Timer::New(
        api, real, callback, userdata,
        [&](Timer::Callback forward, Timer* timer) { return real->time_new(real, when, forward, timer); },
        [&](pa_time_event* event, Timer::Destroy destroyed) { real->time_set_destroy(event, destroyed); });
  };
  api_.time_restart = [](pa_time_event* event, const timeval* when) {
    Timer::Of(event)->real->time_restart(Timer::Of(event)->event, when);
  };
  api_.time_free = [](pa_time_event* event) { Timer::Of(event)->real->time_free(Timer::Of(event)->event); };
  api_.time_set_destroy = [](pa_time_event* event, pa_time_event_destroy_cb_t callback) {
    Timer::Of(event)->destroy = callback;
  };

  api_.defer_new = [](pa_mainloop_api* api, pa_defer_event_cb_t callback, void* userdata) -> pa_defer_event* {
    pa_mainloop_api* real = Owner(api)->real_;
    return Deferred::New(
        api, real, callback, userdata,
        [&](Deferred::Callback forward, Deferred* deferred) { return real->defer_new(real, forward, deferred); },
        [&](pa_defer_event* event, Deferred::Destroy destroyed) { real->defer_set_destroy(event, destroyed); });
  };
  api_.defer_enable = [](pa_defer_event* event, int enable) {
    Deferred::Of(event)->real->defer_enable(Deferred::Of(event)->event, enable);
  };
  api_.defer_free = [](pa_defer_event* event) { Deferred::Of(event)->real->defer_free(Deferred::Of(event)->event); };
  api_.defer_set_destroy = [](pa_defer_event* event, pa_defer_event_destroy_cb_t callback) {
    Deferred::Of(event)->destroy = callback;
  };

  api_.quit = [](pa_mainloop_api* api, int value) { Owner(api)->real_->quit(Owner(api)->real_, value); };
}

pa_io_event_flags_t HeldIoApi::Passed(pa_io_event_flags_t wanted) const {
  return held_ ? pa_io_event_flags_t(wanted & ~PA_IO_EVENT_INPUT) : wanted;
}

pa_io_event* HeldIoApi::IoNew(pa_mainloop_api* api, int fd, pa_io_event_flags_t events, pa_io_event_cb_t callback,
                              void* userdata) {
  HeldIoApi* self = Owner(api);
  auto* watch = new Watch{self, nullptr, fd, events, callback, userdata};
  watch->real = self->real_->io_new(self->real_, fd, self->Passed(events), &HeldIoApi::OnReady, watch);
  if (!watch->real) {
    delete watch;
    return nullptr;
  }
  self->real_->io_set_destroy(watch->real, &HeldIoApi::OnDestroyed);
  watch->next = self->watches_;
  self->watches_ = watch;
  return reinterpret_cast<pa_io_event*>(watch);
}

void HeldIoApi::IoEnable(pa_io_event* event, pa_io_event_flags_t events) {
  auto* watch = reinterpret_cast<Watch*>(event);
  watch->wanted = events;
  watch->owner->real_->io_enable(watch->real, watch->owner->Passed(events));
}

void HeldIoApi::IoFree(pa_io_event* event) {
  auto* watch = reinterpret_cast<Watch*>(event);
  watch->dead = true;
  watch->owner->real_->io_free(watch->real);
}

void HeldIoApi::IoSetDestroy(pa_io_event* event, pa_io_event_destroy_cb_t callback) {
  reinterpret_cast<Watch*>(event)->destroy = callback;
}

void HeldIoApi::OnReady(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t events, void* userdata) {
  auto* watch = static_cast<Watch*>(userdata);
  if (!watch->dead)
    watch->callback(&watch->owner->api_, reinterpret_cast<pa_io_event*>(watch), fd, events, watch->userdata);
}

void HeldIoApi::OnDestroyed(pa_mainloop_api*, pa_io_event*, void* userdata) {
  auto* watch = static_cast<Watch*>(userdata);
  HeldIoApi* self = watch->owner;
  if (watch->destroy) watch->destroy(&self->api_, reinterpret_cast<pa_io_event*>(watch), watch->userdata);
  for (Watch** link = &self->watches_; *link; link = &(*link)->next) {
    if (*link == watch) {
      *link = watch->next;
      break;
    }
  }
  delete watch;
}

void HeldIoApi::Hold(bool held) {
  if (held == held_) return;
  held_ = held;
  for (Watch* watch = watches_; watch; watch = watch->next)
    if (!watch->dead) real_->io_enable(watch->real, Passed(watch->wanted));
}

int HeldIoApi::Service() {
  // A handful of connections, two or three watches each: what does not fit waits for the next pass.
  constexpr std::size_t kMaxWatches = 16;
  std::array<pollfd, kMaxWatches> fds;
  std::array<Watch*, kMaxWatches> polled;
  std::size_t count = 0;
  for (Watch* watch = watches_; watch && count < kMaxWatches; watch = watch->next) {
    if (watch->dead || !(watch->wanted & PA_IO_EVENT_INPUT)) continue;
    fds[count] = {watch->fd, POLLIN, 0};
    polled[count++] = watch;
  }
  if (count == 0 || poll(fds.data(), count, 0) <= 0) return 0;
  int ran = 0;
  for (std::size_t i = 0; i < count; ++i) {
    Watch* watch = polled[i];
    if (fds[i].revents == 0 || watch->dead) continue;
    int events = 0;
    if (fds[i].revents & POLLIN) events |= PA_IO_EVENT_INPUT;
    if (fds[i].revents & POLLHUP) events |= PA_IO_EVENT_HANGUP;
    if (fds[i].revents & (POLLERR | POLLNVAL)) events |= PA_IO_EVENT_ERROR;
    watch->callback(&api_, reinterpret_cast<pa_io_event*>(watch), watch->fd, pa_io_event_flags_t(events),
                    watch->userdata);
    ++ran;
  }
  return ran;
}

}  // namespace platform
