#pragma once
#include <QObject>
#include <QPointer>

#include "engine/report_queue.h"

class QMessageBox;
class QWidget;

namespace widgets {

// Shows the engine's error messages on the user-interface thread. The engine's threads only queue a
// text (ReportQueue) and post a wake-up; the box is not modal to the engine, and while it is open the
// same error again is merged into it. Make it before the engine starts and destroy it after it stops.
class QtEngineReporter : public QObject {
 public:
  QtEngineReporter(engine::ReportQueue& queue, QWidget* parentWindow);
  ~QtEngineReporter() override;

  // The box on screen, if any (tests close it).
  QMessageBox* OpenBox() const { return box_; }

 private:
  void ShowNext();

  engine::ReportQueue& queue_;
  QPointer<QWidget> parentWindow_;
  QPointer<QMessageBox> box_;
};

}  // namespace widgets
