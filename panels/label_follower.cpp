#include "panels/label_follower.h"

#include <QEvent>
#include <QTimerEvent>
#include <QWidget>

namespace panels {

LabelFollower::LabelFollower(QWidget* panel, std::function<void()> refresh)
    : QObject(panel), panel_(panel), refresh_(std::move(refresh)) {
  panel_->installEventFilter(this);
}

void LabelFollower::Start() {
  started_ = true;
  refresh_();
  timer_.start(kRefreshMs, this);
}

bool LabelFollower::eventFilter(QObject* watched, QEvent* event) {
  if (watched == panel_ && started_) {
    if (event->type() == QEvent::Hide) {
      timer_.stop();
    } else if (event->type() == QEvent::Show) {
      refresh_();
      timer_.start(kRefreshMs, this);
    }
  }
  return QObject::eventFilter(watched, event);
}

void LabelFollower::timerEvent(QTimerEvent* event) {
  if (event->timerId() == timer_.timerId()) refresh_();
  QObject::timerEvent(event);
}

}  // namespace panels
