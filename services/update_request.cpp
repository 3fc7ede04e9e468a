#include "services/update_request.h"

#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "settings/update_check.h"

namespace services {

UpdateRequest::UpdateRequest(QObject* parent) : QObject(parent) {
  // The desktop's proxy settings apply, as for any other program of the user's.
  QNetworkProxyFactory::setUseSystemConfiguration(true);
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] { Finish(kTimedOut); });
}

UpdateRequest::~UpdateRequest() { Abort(); }

void UpdateRequest::Start(const QUrl& url, const QByteArray& form, int timeoutMs) {
  Abort();
  answer_.clear();
  QNetworkRequest request(url);
  request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
  request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Tonvex"));
  reply_ = network_.post(request, form);
  // Qt would otherwise buffer an endless answer without bound before we read it.
  reply_->setReadBufferSize(settings::kMaxUpdateAnswerBytes);
  connect(reply_, &QNetworkReply::metaDataChanged, this, &UpdateRequest::ReadAnswer);
  connect(reply_, &QNetworkReply::readyRead, this, &UpdateRequest::ReadAnswer);
  connect(reply_, &QNetworkReply::finished, this, &UpdateRequest::OnReplyFinished);
  deadline_.start(timeoutMs);
}

void UpdateRequest::Abort() {
  deadline_.stop();
  if (!reply_) return;
  QNetworkReply* reply = reply_;
  reply_ = nullptr;
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
}

int UpdateRequest::Status() const {
  const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  return status.isValid() ? status.toInt() : 0;
}

void UpdateRequest::ReadAnswer() {
  if (!reply_) return;
  const int status = Status();
  if (status / 100 == 3) return;  // a redirection that the network access follows
  if (status != 0 && status != 200) {
    // An error page is not an answer, however long. Ended from the event loop: the reply reports the
    // status as its error right after this signal, and an abort inside it would report a second one.
    QMetaObject::invokeMethod(
        this, [this, reply = reply_.data(), status] { if (reply_ == reply) Finish(status); }, Qt::QueuedConnection);
    return;
  }
  const qint64 room = static_cast<qint64>(settings::kMaxUpdateAnswerBytes) - answer_.size();
  answer_ += reply_->read(room);
  if (answer_.size() >= static_cast<qsizetype>(settings::kMaxUpdateAnswerBytes)) Finish(0);
}

void UpdateRequest::OnReplyFinished() {
  if (!reply_) return;
  const int status = Status();
  if (status != 0 && status != 200) return Finish(status);
  if (reply_->error() != QNetworkReply::NoError) return Finish(kConnectionFailed);
  if (status == 0) return Finish(kNoStatus);
  ReadAnswer();
  if (reply_) Finish(0);
}

void UpdateRequest::Finish(int result) {
  Abort();
  emit Finished(result, answer_);
}

}  // namespace services
