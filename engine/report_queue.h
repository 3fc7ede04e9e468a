#pragma once
#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "engine/engine_reporter.h"
#include "platform/critical_section.h"

namespace engine {

// Carries the engine's error messages from any thread to the user interface without making the sender
// wait for a message box. The sender copies the text into a fixed slot under a short lock; the user
// interface takes the texts one at a time and shows each until the user closes it. While a text is
// shown or waiting, the same text again is merged into it (counted, not shown twice), so an error that
// repeats every block brings up one box.
class ReportQueue : public IEngineReporter {
 public:
  static constexpr std::size_t kSlots = 8;        // distinct errors waiting at once; more are dropped
  static constexpr std::size_t kTextBytes = 512;  // longer texts are cut

  // Any thread. Queues the text, or merges it; calls the wake-up after queueing a new text.
  void ShowError(const std::string& text) override;

  // Set before any thread reports. Runs on the reporting thread and must not wait: the user interface
  // posts itself a call to TakeNext.
  void SetWakeUp(std::function<void()> wakeUp) { wakeUp_ = std::move(wakeUp); }

  // User-interface thread. The next text to show, which counts as shown until Closed; false while a
  // shown text is still open or nothing waits.
  bool TakeNext(std::string* text);
  void Closed();

  std::size_t Merged() const;   // reports folded into a text that was shown or waiting
  std::size_t Dropped() const;  // reports lost to a full queue

 private:
  struct Slot {
    std::array<char, kTextBytes> text{};
    std::size_t length = 0;
    bool Holds(const std::string& other) const;
  };

  mutable platform::CriticalSection lock_;
  std::array<Slot, kSlots> waiting_ GUARDED_BY(lock_);  // a ring: head_ is the oldest
  std::size_t head_ GUARDED_BY(lock_) = 0;
  std::size_t count_ GUARDED_BY(lock_) = 0;
  Slot shown_ GUARDED_BY(lock_);
  bool open_ GUARDED_BY(lock_) = false;
  std::size_t merged_ GUARDED_BY(lock_) = 0;
  std::size_t dropped_ GUARDED_BY(lock_) = 0;
  std::function<void()> wakeUp_;
};

}  // namespace engine
