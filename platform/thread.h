#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace platform {

constexpr uint32_t kStillActive = 259;

// A thread whose exit code can be polled, so stop logic can wait in bounded steps.
// The destructor joins a thread that was started.
class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();

  // False when the thread could not be created, or one was already started.
  bool Start(std::function<uint32_t()> procedure);
  bool Started() const { return worker_.joinable(); }
  // False when there is no thread; kStillActive while it runs, else the value its procedure returned.
  bool GetExitCode(uint32_t* code) const;
  void Join();

 private:
  std::thread worker_;
  std::atomic<uint32_t> exitCode_{kStillActive};
};

// Polls `thread` every 10 ms for at most `steps` steps until it has ended (or has none).
void WaitForThreadEnd(const Thread& thread, int steps = 1000);

}  // namespace platform
