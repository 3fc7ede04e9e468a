#pragma once
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "services/http_answer_reader.h"

namespace services {

// One form POST to the update endpoint, through the system's proxy settings, without blocking the
// window: Finished comes once, from the event loop, unless Abort() came first. The connection is read on
// this object's thread in pieces as they arrive, so the time limit, the size limit and Abort() hold
// however the server answers (Qt's own HTTP thread reads an endless header line without bound).
class UpdateRequest : public QObject {
  Q_OBJECT

 public:
  // Failure results besides an HTTP status other than 200.
  static constexpr int kConnectionFailed = -20;  // no connection, refused, reset, or a network error
  static constexpr int kNoStatus = -21;          // the server's reply carried no status code
  static constexpr int kTimedOut = -22;          // no complete answer within the time allowed

  explicit UpdateRequest(QObject* parent = nullptr);
  ~UpdateRequest() override;

  // POSTs `form` (already form-encoded) to `url`; gives up after `timeoutMs`.
  void Start(const QUrl& url, const QByteArray& form, int timeoutMs);
  void Abort();
  bool Running() const { return socket_ != nullptr; }

 signals:
  // 0 with the answer's first bytes (at most kMaxUpdateAnswerBytes; reading stops there), or a failure.
  void Finished(int result, const QByteArray& answer);

 private:
  void Connect();
  void SendRequest();
  void ReadAnswer();
  void OnProgress(HttpAnswerReader::Progress progress);
  // Follows a redirection to `location`; false when it may not be followed.
  bool Redirect(const QByteArray& location);
  void Finish(int result, const QByteArray& answer = {});

  QPointer<QTcpSocket> socket_;
  std::unique_ptr<HttpAnswerReader> reader_;
  QTimer deadline_;
  QUrl url_;
  QByteArray method_;
  QByteArray form_;
  bool viaHttpProxy_ = false;  // the request goes to an HTTP proxy with the whole address as its target
  QByteArray proxyAuthorization_;
  int redirects_ = 0;
};

}  // namespace services
