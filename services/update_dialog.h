#pragma once
#include <QDialog>

#include "platform/user_prompt.h"
#include "services/update_request.h"
#include "settings/update_check.h"

class QLabel;
class QPushButton;

namespace widgets {
class CLinkLabel;
}

namespace services {

// "Check for Updates": OK asks the update endpoint whether a newer version exists and shows the answer
// with a link to the download page; the next OK closes. The request runs while the dialog stays
// responsive: a second OK meanwhile does nothing, Cancel abandons it, and it fails after `timeoutMs`.
// Message boxes go through `prompt`.
class CUpdateDialog : public QDialog {
 public:
  // What the dialog knows: not checked yet or the last attempt failed, current, or newer available.
  static constexpr int kNotChecked = -11;
  static constexpr int kCurrent = -2;
  static constexpr int kNewer = 0;

  CUpdateDialog(platform::UserPrompt& prompt, QWidget* parent = nullptr, int timeoutMs = settings::kUpdateTimeoutMs);

  int State() const { return state_; }
  bool Checking() const { return request_.Running(); }
  QString StatusText() const;
  widgets::CLinkLabel* Link() const { return link_; }
  QPushButton* OkButton() const { return ok_; }

  void accept() override;  // the OK button
  void reject() override;  // Cancel, Escape or the close button: any running request is abandoned

 private:
  void OnAnswer(int result, const QByteArray& answer);

  platform::UserPrompt& prompt_;
  const int timeoutMs_;
  const QString base_;
  int state_ = kNotChecked;
  UpdateRequest request_;
  QLabel* status_;
  widgets::CLinkLabel* link_;
  QPushButton* ok_;
};

}  // namespace services
