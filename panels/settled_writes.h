#pragma once
#include <QTimer>
#include <functional>
#include <map>

namespace panels {

// What a settled write stores; a later write of the same kind replaces one still waiting.
enum class StoredPart { kVolume, kLimiter, kConfiguration };

// Writes that wait until the user's change settles: a slider dragged or stepped with the keys changes at
// every position, and each position written at once would replace the settings file (with its flush to the
// disk) several times a second on the window's thread. Each Schedule restarts the wait; once the changes
// have stopped for the settle time, every waiting write runs once. Flush runs them at once: every way the
// program ends calls it, so nothing waiting is lost.
class SettledWrites {
 public:
  static constexpr int kSettleMs = 400;

  explicit SettledWrites(int settleMs = kSettleMs);
  SettledWrites(const SettledWrites&) = delete;
  SettledWrites& operator=(const SettledWrites&) = delete;

  void Schedule(StoredPart part, std::function<void()> write);
  void Flush();
  void Cancel(StoredPart part) { waiting_.erase(part); }

 private:
  QTimer timer_;
  std::map<StoredPart, std::function<void()>> waiting_;
};

}  // namespace panels
