#include "panels/settled_writes.h"

namespace panels {

SettledWrites::SettledWrites(int settleMs) {
  timer_.setSingleShot(true);
  timer_.setInterval(settleMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Flush(); });
}

void SettledWrites::Schedule(StoredPart part, std::function<void()> write) {
  waiting_[part] = std::move(write);
  timer_.start();
}

void SettledWrites::Flush() {
  timer_.stop();
  // Taken out first: a write may schedule again (or flush) while it runs.
  std::map<StoredPart, std::function<void()>> writes;
  writes.swap(waiting_);
  for (auto& [part, write] : writes) write();
}

}  // namespace panels
