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

template <typename RealEvent, typename Callback, typename Destroy>
struct Wrapped {
  HeldIoApi* owner;
  pa_mainloop_api* real;
  Callback callback;
  void* userdata;
  RealEvent* event = nullptr;
  Destroy destroy = nullptr;
};
using Timer = Wrapped<pa_time_event, pa_time_event_cb_t, pa_time_event_destroy_cb_t>;
using Deferred = Wrapped<pa_defer_event, pa_defer_event_cb_t, pa_defer_event_destroy_cb_t>;

Timer* AsTimer(pa_time_event* event) { return reinterpret_cast<Timer*>(event); }
Deferred* AsDeferred(pa_defer_event* event) { return reinterpret_cast<Deferred*>(event); }

}  // namespace

HeldIoApi::HeldIoApi(pa_mainloop_api* real) : real_(real), api_(*real) {
  api_.userdata = this;
  api_.io_new = &HeldIoApi::IoNew;
  api_.io_enable = &HeldIoApi::IoEnable;
  api_.io_free = &HeldIoApi::IoFree;
  api_.io_set_destroy = &HeldIoApi::IoSetDestroy;

  api_.time_new = [](pa_mainloop_api* api, const timeval* when, pa_time_event_cb_t callback,
                     void* userdata) -> pa_time_event* {
    HeldIoApi* self = Owner(api);
    auto* timer = new Timer{self, self->real_, callback, userdata};
    timer->event = self->real_->time_new(
        self->real_, when,
        [](pa_mainloop_api*, pa_time_event*, const timeval* at, void* wrapped) {
          auto* t = static_cast<Timer*>(wrapped);
          t->callback(&t->owner->api_, reinterpret_cast<pa_time_event*>(t), at, t->userdata);
        },
        timer);
    if (!timer->event) {
      delete timer;
      return nullptr;
    }
    self->real_->time_set_destroy(timer->event, [](pa_mainloop_api*, pa_time_event*, void* wrapped) {
      auto* t = static_cast<Timer*>(wrapped);
      if (t->destroy) t->destroy(&t->owner->api_, reinterpret_cast<pa_time_event*>(t), t->userdata);
      delete t;
    });
    return reinterpret_cast<pa_time_event*>(timer);
  };
  api_.time_restart = [](pa_time_event* event, const timeval* when) {
    AsTimer(event)->real->time_restart(AsTimer(event)->event, when);
  };
  api_.time_free = [](pa_time_event* event) { AsTimer(event)->real->time_free(AsTimer(event)->event); };
  api_.time_set_destroy = [](pa_time_event* event, pa_time_event_destroy_cb_t callback) {
    AsTimer(event)->destroy = callback;
  };

  api_.defer_new = [](pa_mainloop_api* api, pa_defer_event_cb_t callback, void* userdata) -> pa_defer_event* {
    HeldIoApi* self = Owner(api);
    auto* deferred = new Deferred{self, self->real_, callback, userdata};
    deferred->event = self->real_->defer_new(
        self->real_,
        [](pa_mainloop_api*, pa_defer_event*, void* wrapped) {
          auto* d = static_cast<Deferred*>(wrapped);
          d->callback(&d->owner->api_, reinterpret_cast<pa_defer_event*>(d), d->userdata);
        },
        deferred);
    if (!deferred->event) {
      delete deferred;
      return nullptr;
    }
    self->real_->defer_set_destroy(deferred->event, [](pa_mainloop_api*, pa_defer_event*, void* wrapped) {
      auto* d = static_cast<Deferred*>(wrapped);
      if (d->destroy) d->destroy(&d->owner->api_, reinterpret_cast<pa_defer_event*>(d), d->userdata);
      delete d;
    });
    return reinterpret_cast<pa_defer_event*>(deferred);
  };
  api_.defer_enable = [](pa_defer_event* event, int enable) {
    AsDeferred(event)->real->defer_enable(AsDeferred(event)->event, enable);
  };
  api_.defer_free = [](pa_defer_event* event) { AsDeferred(event)->real->defer_free(AsDeferred(event)->event); };
  api_.defer_set_destroy = [](pa_defer_event* event, pa_defer_event_destroy_cb_t callback) {
    AsDeferred(event)->destroy = callback;
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
