#include "services/update_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

#include "panels/template_controls.h"
#include "platform/string_table.h"
#include "services/service_ids.h"
#include "widgets/dialog_units.h"
#include "widgets/link_label.h"
#include "widgets/ui_text.h"

namespace services {

CUpdateDialog::CUpdateDialog(platform::UserPrompt& prompt, QWidget* parent, int timeoutMs)
    : QDialog(parent),
      prompt_(prompt),
      timeoutMs_(timeoutMs),
      base_(QString::fromStdString(settings::UpdateServerBase())) {
  setWindowTitle(widgets::UiText(kStringUpdateTitle));
  setFont(widgets::TemplateFont());
  setFixedSize(widgets::DialogRect(0, 0, 220, 94).size());

  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
  icon->setGeometry(QRect(widgets::DialogRect(12, 16, 0, 0).topLeft(), QSize(32, 32)));
  status_ = panels::MakeLabel(this, widgets::UiText(kStringUpdatePrompt), 50, 13, 145, 34);
  status_->setWordWrap(true);

  // The address is shown as host and path, the way the maker writes it.
  const QUrl download(base_ + settings::kDownloadPath);
  link_ = new widgets::CLinkLabel(download.toString(QUrl::RemoveScheme).mid(2), this);
  link_->setGeometry(widgets::DialogRect(17, 52, 190, 8));
  link_->setAlignment(Qt::AlignCenter);
  link_->SetUrl(download.toString());
  link_->EnableTooltip(true);
  link_->SetTooltipText(widgets::UiText(kStringDownloadTip));

  ok_ = panels::MakeButton(this, widgets::UiText(widgets::kStringOk), 45, 73, 50, 14);
  QPushButton* cancel = panels::MakeButton(this, widgets::UiText(widgets::kStringCancel), 106, 73, 50, 14);
  // Enter presses OK; the link comes after the buttons by Tab.
  ok_->setDefault(true);
  setTabOrder(ok_, cancel);
  setTabOrder(cancel, link_);
  ok_->setFocus();
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(&request_, &UpdateRequest::Finished, this, &CUpdateDialog::OnAnswer);
}

QString CUpdateDialog::StatusText() const { return status_->text(); }

void CUpdateDialog::accept() {
  if (request_.Running()) return;
  status_->setText(widgets::UiText(kStringUpdateWait));
  if (state_ != kNotChecked) {
    QDialog::accept();  // the answer was read: this OK closes
    return;
  }
  std::string version;
  if (!settings::ReadInstalledVersion(&version)) {
    prompt_.ShowMessage(platform::LoadString(kStringUnknownVersion), platform::PromptButtons::Ok);
    QDialog::reject();
    return;
  }
  const QByteArray form = "this=" + QUrl::toPercentEncoding(QString::fromStdString(version));
  request_.Start(QUrl(base_ + settings::kUpdatePath), form, timeoutMs_);
}

void CUpdateDialog::reject() {
  request_.Abort();
  QDialog::reject();
}

void CUpdateDialog::OnAnswer(int result, const QByteArray& answer) {
  if (result != 0) {
    state_ = kNotChecked;  // OK tries again; the text stays as it is
    prompt_.ShowMessage(platform::LoadString(kStringCannotConnect), platform::PromptButtons::Ok);
    return;
  }
  const bool newer = settings::AnswerMeansNewerVersion(std::string_view(answer.constData(), answer.size()));
  state_ = newer ? kNewer : kCurrent;
  status_->setText(widgets::UiText(newer ? kStringNewVersion : kStringVersionCurrent));
}

}  // namespace services
