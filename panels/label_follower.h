#pragma once
#include <QBasicTimer>
#include <QObject>
#include <functional>

class QWidget;

namespace panels {

// Keeps a panel's value labels following its sliders: once started, `refresh` runs every kRefreshMs while
// the panel is shown, and not at all while it is hidden (a hidden window wakes nobody).
class LabelFollower : public QObject {
 public:
  static constexpr int kRefreshMs = 25;

  LabelFollower(QWidget* panel, std::function<void()> refresh);
  // Called once the panel is filled in: refreshes now and from then on.
  void Start();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  QWidget* panel_;
  std::function<void()> refresh_;
  QBasicTimer timer_;
  bool started_ = false;
};

}  // namespace panels
