#pragma once
#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/pulse_loop.h"

namespace platform {

// One client connection to the audio server (PulseAudio or PipeWire's pulse server), served by a mainloop
// thread of its own or by one it shares with other connections. The connection comes back by itself: when
// the server goes away it retries every 200 ms until the server returns. Whoever uses the context holds
// the mainloop lock (LoopLock); the callbacks below run on the mainloop thread with the lock held.
class PulseConnection {
 public:
  struct Callbacks {
    std::function<void(pa_context*)> ready;  // connected (again); subscriptions are set up here
    std::function<void()> lost;              // the server went away
    std::function<void(pa_subscription_event_type_t, uint32_t)> event;
    // What `event` hears of; every event wakes the mainloop thread, so ask only for what is used.
    pa_subscription_mask_t subscriptions = pa_subscription_mask_t(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SERVER);
  };

  // Without a loop to share, the connection gets a thread of its own, named after the client.
  PulseConnection(std::string clientName, Callbacks callbacks, std::shared_ptr<PulseLoop> loop = nullptr);
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  // Starts the mainloop thread (unless a sharer already has) and the first attempt; false when libpulse
  // cannot start at all.
  bool Start();
  // Ends the connection: its callbacks stop before this returns. A thread of its own stops too. Called by
  // the destructor too; never on the mainloop thread.
  void Shutdown();
  // Waits until the connection is ready, at most timeoutMs. Never call it on the mainloop thread.
  bool WaitReady(int timeoutMs);
  bool Ready() const { return ready_.load(); }

  // Null until started.
  pa_threaded_mainloop* Mainloop() { return mainloop_; }
  pa_context* Context() { return context_; }
  // Null until started.
  PulseLoop* Loop() { return loop_.get(); }
  // Waits for an operation started under the lock (the caller holds it), at most timeoutMs; cancels it on
  // timeout. For start-up and shutdown work only, never for the audio path.
  bool WaitOperation(pa_operation* operation, int timeoutMs);
  // Wakes WaitOperation; for completion callbacks.
  void Signal() { pa_threaded_mainloop_signal(mainloop_, 0); }

 private:
  static void OnContextState(pa_context* context, void* self);
  static void OnSubscription(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* self);
  static void OnRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv, void* self);
  void Connect();  // mainloop thread or before it runs
  void Drop();     // forgets the context; lock held

  const std::string clientName_;
  Callbacks callbacks_;
  const std::shared_ptr<PulseLoop> shared_;  // the loop given to share, if any
  std::shared_ptr<PulseLoop> loop_;          // the one in use, while started
  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_time_event* retry_ = nullptr;
  std::atomic<bool> ready_{false};
};

// Waits until `flag` is set, at most timeoutMs, in short sleeps: for start-up, never the audio path.
bool WaitForFlag(const std::atomic<bool>& flag, int timeoutMs);

// Holds the mainloop lock for a scope. On the mainloop thread itself, which holds it whenever it runs
// anything, it does nothing: a callback of one connection may use another that shares its loop.
class LoopLock {
 public:
  explicit LoopLock(PulseConnection& connection)
      : mainloop_(pa_threaded_mainloop_in_thread(connection.Mainloop()) ? nullptr : connection.Mainloop()) {
    if (mainloop_) pa_threaded_mainloop_lock(mainloop_);
  }
  ~LoopLock() {
    if (mainloop_) pa_threaded_mainloop_unlock(mainloop_);
  }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* mainloop_;
};

}  // namespace platform

namespace platform {

// Disconnects and releases a stream whatever its state, its callbacks cleared first: messages for it that are
// still on their way reach nobody. A stream still being created cannot be disconnected yet (the server would
// keep it, orphaned, for the life of the connection), so it is disconnected as soon as it is ready and released
// when it ends. Mainloop lock held.
void ReleaseStream(pa_stream* stream);

}  // namespace platform
