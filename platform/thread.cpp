#include "platform/thread.h"

#include <chrono>
#include <system_error>

namespace platform {

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<uint32_t()> procedure) {
  if (worker_.joinable()) return false;
  exitCode_.store(kStillActive);
  try {
    worker_ = std::thread([this, procedure = std::move(procedure)] { exitCode_.store(procedure()); });
  } catch (const std::system_error&) { return false; }
  return true;
}

bool Thread::GetExitCode(uint32_t* code) const {
  if (!worker_.joinable()) return false;
  *code = exitCode_.load();
  return true;
}

void Thread::Join() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void WaitForThreadEnd(const Thread& thread, int steps) {
  for (int i = 0; i < steps; ++i) {
    uint32_t code = 0;
    if (!thread.GetExitCode(&code) || code != kStillActive) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace platform
