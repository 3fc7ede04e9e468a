#include "platform/pulse_connection.h"

#include <chrono>
#include <thread>

#include "platform/debug_output.h"

namespace platform {
namespace {
// A lost server is looked for again this often (a refused connect on a local socket costs next to nothing):
// the sound must be back soon after a restarted server answers, and at 500 ms a restart under load took
// more than the 2 s allowed.
constexpr pa_usec_t kRetryDelayUs = 200 * 1000;
}

PulseConnection::PulseConnection(std::string clientName, Callbacks callbacks, std::shared_ptr<PulseLoop> loop)
    : clientName_(std::move(clientName)), callbacks_(std::move(callbacks)), shared_(std::move(loop)) {}

PulseConnection::~PulseConnection() { Shutdown(); }

bool PulseConnection::Start() {
  if (mainloop_) return true;
  loop_ = shared_ ? shared_ : std::make_shared<PulseLoop>(clientName_);
  if (!loop_->Start()) {
    loop_.reset();
    return false;
  }
  mainloop_ = loop_->Mainloop();
  LoopLock lock(*this);  // a shared thread may be running already
  Connect();
  return true;
}

void PulseConnection::Shutdown() {
  if (!mainloop_) return;
  {
    LoopLock lock(*this);
    Drop();
    if (retry_) {
      loop_->Api()->time_free(retry_);
      retry_ = nullptr;
    }
  }
  mainloop_ = nullptr;
  loop_.reset();  // a thread of its own stops here, a shared one with its last user
}

bool PulseConnection::WaitReady(int timeoutMs) { return WaitForFlag(ready_, timeoutMs); }

bool WaitForFlag(const std::atomic<bool>& flag, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!flag.load()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool PulseConnection::WaitOperation(pa_operation* operation, int timeoutMs) {
  if (!operation) return false;
  // pa_threaded_mainloop_wait has no timeout: wait in short unlocked sleeps instead, so a silent server
  // cannot hold the caller for ever.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
    if (std::chrono::steady_clock::now() >= end) {
      pa_operation_cancel(operation);
      break;
    }
    pa_threaded_mainloop_unlock(mainloop_);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    pa_threaded_mainloop_lock(mainloop_);
  }
  const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
  pa_operation_unref(operation);
  return done;
}

void PulseConnection::Connect() {
  pa_mainloop_api* api = loop_->Api();
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, clientName_.c_str());
  context_ = pa_context_new_with_proplist(api, clientName_.c_str(), properties);
  pa_proplist_free(properties);
  if (!context_) return;
  pa_context_set_state_callback(context_, &PulseConnection::OnContextState, this);
  pa_context_set_subscribe_callback(context_, &PulseConnection::OnSubscription, this);
  // Never spawn a server of our own from here: the caller decides which server runs.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    Drop();
    // Retry from the timer; the state callback will not fire for a context that never connected.
    ArmLoopTimer(api, retry_, kRetryDelayUs, &PulseConnection::OnRetry, this);
  }
}

void PulseConnection::Drop() {
  const bool wasReady = ready_.exchange(false);
  if (context_) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
  }
  if (wasReady && callbacks_.lost) callbacks_.lost();
  if (mainloop_) pa_threaded_mainloop_signal(mainloop_, 0);
}

void PulseConnection::OnContextState(pa_context* context, void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
      self->ready_ = true;
      if (self->callbacks_.event) {
        pa_operation* op = pa_context_subscribe(context, self->callbacks_.subscriptions, nullptr, nullptr);
        if (op) pa_operation_unref(op);
      }
      if (self->callbacks_.ready) self->callbacks_.ready(context);
      pa_threaded_mainloop_signal(self->mainloop_, 0);
      break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: {
      // The context is dropped by the retry timer, not inside its own callback. Failed attempts to
      // reconnect are not worth a line each.
      if (self->ready_.exchange(false)) {
        OutputDebugText(std::string("audio server connection lost: ") + pa_strerror(pa_context_errno(context)));
        if (self->callbacks_.lost) self->callbacks_.lost();
      }
      pa_threaded_mainloop_signal(self->mainloop_, 0);
      pa_mainloop_api* api = self->loop_->Api();
      ArmLoopTimer(api, self->retry_, kRetryDelayUs, &PulseConnection::OnRetry, self);
      break;
    }
    default: break;
  }
}

void PulseConnection::OnSubscription(pa_context*, pa_subscription_event_type_t type, uint32_t index, void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  if (self->callbacks_.event) self->callbacks_.event(type, index);
}

void PulseConnection::OnRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval*, void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  api->time_restart(event, nullptr);  // disarmed until the next failure
  self->Drop();
  self->Connect();
}

}  // namespace platform

namespace platform {

void ReleaseStream(pa_stream* stream) {
  if (!stream) return;
  pa_stream_set_read_callback(stream, nullptr, nullptr);
  pa_stream_set_write_callback(stream, nullptr, nullptr);
  pa_stream_set_underflow_callback(stream, nullptr, nullptr);
  // A stream that is ending can still report that it started playing: its owner may be gone by then.
  pa_stream_set_started_callback(stream, nullptr, nullptr);
  switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
      pa_stream_set_state_callback(stream, nullptr, nullptr);
      pa_stream_disconnect(stream);
      pa_stream_unref(stream);
      break;
    case PA_STREAM_CREATING:
      // The reference is kept until the stream has ended.
      pa_stream_set_state_callback(
          stream,
          [](pa_stream* s, void*) {
            switch (pa_stream_get_state(s)) {
              case PA_STREAM_READY: pa_stream_disconnect(s); break;
              case PA_STREAM_FAILED:
              case PA_STREAM_TERMINATED:
                pa_stream_set_state_callback(s, nullptr, nullptr);
                pa_stream_unref(s);
                break;
              default: break;
            }
          },
          nullptr);
      break;
    default:
      pa_stream_set_state_callback(stream, nullptr, nullptr);
      pa_stream_unref(stream);
      break;
  }
}

}  // namespace platform
