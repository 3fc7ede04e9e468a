#pragma once
#include <QLocalServer>
#include <functional>

namespace desktop {

// A refused second start brings the running window forward: the running program listens on a local socket
// beside the instance lock, and the refused one connects to it once.
class ForwardListener : public QObject {
 public:
  // The lock holder only (a socket left by a crash is replaced). False when it cannot listen.
  bool Listen(std::function<void()> comeForward);

 private:
  QLocalServer server_;
  std::function<void()> comeForward_;
};

// Asks the running program to show its window; false when none answered.
bool AskRunningToComeForward();

}  // namespace desktop
