#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

constexpr uint32_t kWaitSignalled = 0;
constexpr uint32_t kWaitTimeout = 258;

// A waitable event with auto-reset (one waiter released per Set) or manual-reset semantics.
class Event {
 public:
  enum class Mode { AutoReset, ManualReset };

  explicit Event(Mode mode, bool initiallySignalled = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // kWaitSignalled when the event was (or became) signalled within timeoutMs, else kWaitTimeout.
  uint32_t Wait(uint32_t timeoutMs);

 private:
  const Mode mode_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_;
};

// Named events let two parts of the process that share no object meet by name. The first caller
// creates the event; later callers open the same one while anybody still holds it.
std::shared_ptr<Event> CreateNamedEvent(const std::string& name, Event::Mode mode, bool initiallySignalled);
// Null when no event of that name exists.
std::shared_ptr<Event> OpenNamedEvent(const std::string& name);

}  // namespace platform
