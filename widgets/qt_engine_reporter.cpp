#include "widgets/qt_engine_reporter.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QWidget>

#include "widgets/ui_text.h"

namespace widgets {

QtEngineReporter::QtEngineReporter(engine::ReportQueue& queue, QWidget* parentWindow)
    : queue_(queue), parentWindow_(parentWindow) {
  // Runs on the reporting thread: posting an event never waits for the user-interface thread.
  queue_.SetWakeUp([this] { QMetaObject::invokeMethod(this, &QtEngineReporter::ShowNext, Qt::QueuedConnection); });
  ShowNext();  // anything reported before the window existed
}

QtEngineReporter::~QtEngineReporter() {
  queue_.SetWakeUp(nullptr);
  if (box_) delete box_;
}

void QtEngineReporter::ShowNext() {
  std::string text;
  if (!queue_.TakeNext(&text)) return;
  box_ = new QMessageBox(QMessageBox::Critical, UiText(kStringFrameTitle), QString::fromStdString(text),
                         QMessageBox::Ok, parentWindow_);
  box_->setAttribute(Qt::WA_DeleteOnClose);
  connect(box_, &QMessageBox::finished, this, [this] {
    queue_.Closed();
    ShowNext();
  });
  box_->show();
}

}  // namespace widgets
