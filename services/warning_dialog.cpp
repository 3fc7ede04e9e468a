#include "services/warning_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "panels/template_controls.h"
#include "services/service_ids.h"
#include "widgets/dialog_units.h"
#include "widgets/ui_text.h"

namespace services {

CWarningDialog::CWarningDialog(settings::AudioProgramWarning& warning, QWidget* parent)
    : QDialog(parent), warning_(warning) {
  setWindowTitle(widgets::UiText(kStringWarningTitle));
  setFont(widgets::TemplateFont());
  setFixedSize(widgets::DialogRect(0, 0, 225, 100).size());
  text_ = panels::MakeLabel(this, widgets::UiText(kStringWarningText), 7, 7, 211, 46);
  text_->setWordWrap(true);
  dontShowAgain_ = panels::MakeCheckBox(this, widgets::UiText(kStringDontShowAgain), 17, 61, 125, 10);
  QPushButton* ok = panels::MakeButton(this, widgets::UiText(widgets::kStringOk), 49, 79, 50, 14);
  QPushButton* cancel = panels::MakeButton(this, widgets::UiText(widgets::kStringCancel), 126, 79, 50, 14);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &CWarningDialog::ShowIfDue);
}

void CWarningDialog::StartTimer(int delayMs) { timer_.start(delayMs); }

bool CWarningDialog::ShowIfDue() {
  timer_.stop();
  if (shown_ || !warning_.Pending()) return false;
  shown_ = true;
  warning_.MarkShown();
  exec();
  return true;
}

void CWarningDialog::accept() {
  // Cancel writes nothing, whatever the box says.
  warning_.Accept(dontShowAgain_->isChecked());
  QDialog::accept();
}

}  // namespace services
