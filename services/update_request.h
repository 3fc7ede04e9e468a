#pragma once
#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace services {

// One form POST to the update endpoint, through the system's proxy settings, without blocking the
// window: Finished comes once, from the event loop, unless Abort() came first.
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
  bool Running() const { return reply_ != nullptr; }

 signals:
  // 0 with the answer's first bytes (at most kMaxUpdateAnswerBytes; reading stops there), or a failure.
  void Finished(int result, const QByteArray& answer);

 private:
  void ReadAnswer();
  void OnReplyFinished();
  void Finish(int result);
  // The HTTP status, or 0 while the headers have not arrived.
  int Status() const;

  QNetworkAccessManager network_;
  QPointer<QNetworkReply> reply_;
  QTimer deadline_;
  QByteArray answer_;
};

}  // namespace services
