#include "engine/report_queue.h"

#include <algorithm>
#include <cstring>

namespace engine {

bool ReportQueue::Slot::Holds(const std::string& other) const {
  const std::size_t compared = std::min(other.size(), kTextBytes);
  return compared == length && std::memcmp(text.data(), other.data(), length) == 0;
}

void ReportQueue::ShowError(const std::string& text) {
  {
    platform::Guard guard(lock_);
    if (open_ && shown_.Holds(text)) {
      ++merged_;
      return;
    }
    for (std::size_t i = 0; i < count_; ++i) {
      if (waiting_[(head_ + i) % kSlots].Holds(text)) {
        ++merged_;
        return;
      }
    }
    if (count_ == kSlots) {
      ++dropped_;
      return;
    }
    Slot& slot = waiting_[(head_ + count_) % kSlots];
    slot.length = std::min(text.size(), kTextBytes);
    std::memcpy(slot.text.data(), text.data(), slot.length);
    ++count_;
  }
  if (wakeUp_) wakeUp_();
}

bool ReportQueue::TakeNext(std::string* text) {
  platform::Guard guard(lock_);
  if (open_ || count_ == 0) return false;
  shown_ = waiting_[head_];
  head_ = (head_ + 1) % kSlots;
  --count_;
  open_ = true;
  text->assign(shown_.text.data(), shown_.length);
  return true;
}

void ReportQueue::Closed() {
  platform::Guard guard(lock_);
  open_ = false;
}

std::size_t ReportQueue::Merged() const {
  platform::Guard guard(lock_);
  return merged_;
}

std::size_t ReportQueue::Dropped() const {
  platform::Guard guard(lock_);
  return dropped_;
}

}  // namespace engine
