#include "services/update_request.h"

#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSslSocket>

#include "settings/update_check.h"

namespace services {

namespace {

constexpr int kMaxRedirects = 5;
// Read in pieces of this size, so one burst of a fast server is never taken whole.
constexpr qint64 kReadPiece = 16 * 1024;

}  // namespace

UpdateRequest::UpdateRequest(QObject* parent) : QObject(parent) {
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] { Finish(kTimedOut); });
}

UpdateRequest::~UpdateRequest() { Abort(); }

void UpdateRequest::Start(const QUrl& url, const QByteArray& form, int timeoutMs) {
  Abort();
  url_ = url;
  method_ = "POST";
  form_ = form;
  redirects_ = 0;
  deadline_.start(timeoutMs);
  Connect();
}

void UpdateRequest::Connect() {
  const bool secure = url_.scheme() == QLatin1String("https");
  const quint16 port = static_cast<quint16>(url_.port(secure ? 443 : 80));
  socket_ = secure ? new QSslSocket(this) : new QTcpSocket(this);
  socket_->setReadBufferSize(kReadPiece);
  reader_ = std::make_unique<HttpAnswerReader>(static_cast<qsizetype>(settings::kMaxUpdateAnswerBytes));

  // The desktop's proxy settings apply, as for any other program of the user's. A plain request goes to
  // an HTTP proxy with the whole address; anything else is tunnelled through the proxy by the socket.
  const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url_));
  const QNetworkProxy proxy = proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
  viaHttpProxy_ = !secure && proxy.type() == QNetworkProxy::HttpProxy;
  proxyAuthorization_.clear();
  if (viaHttpProxy_ && !proxy.user().isEmpty())
    proxyAuthorization_ = "Basic " + (proxy.user() + u':' + proxy.password()).toUtf8().toBase64();
  socket_->setProxy(viaHttpProxy_ || proxy.type() == QNetworkProxy::DefaultProxy ? QNetworkProxy::NoProxy : proxy);

  connect(socket_, &QTcpSocket::readyRead, this, &UpdateRequest::ReadAnswer);
  connect(socket_, &QTcpSocket::disconnected, this, [this] {
    ReadAnswer();
    if (reader_) OnProgress(reader_->End());
  });
  connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    // A server that closes after its answer is the end of that answer, reported by `disconnected`.
    if (error != QAbstractSocket::RemoteHostClosedError) Finish(kConnectionFailed);
  });
  if (secure) {
    auto* tls = static_cast<QSslSocket*>(socket_.data());
    connect(tls, &QSslSocket::encrypted, this, &UpdateRequest::SendRequest);
    tls->connectToHostEncrypted(url_.host(), port);
  } else {
    connect(socket_, &QTcpSocket::connected, this, &UpdateRequest::SendRequest);
    if (viaHttpProxy_)
      socket_->connectToHost(proxy.hostName(), proxy.port());
    else
      socket_->connectToHost(url_.host(), port);
  }
}

void UpdateRequest::SendRequest() {
  if (!socket_) return;
  const QByteArray target = viaHttpProxy_
                                ? url_.toEncoded(QUrl::RemoveFragment)
                                : url_.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
  QByteArray request = method_ + ' ' + (target.isEmpty() ? QByteArray("/") : target) + " HTTP/1.1\r\n";
  request += "Host: " +
             url_.toEncoded(QUrl::RemoveScheme | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                            QUrl::RemoveUserInfo)
                 .mid(2) +
             "\r\n";
  request += "User-Agent: Tonvex\r\nConnection: close\r\n";
  if (!proxyAuthorization_.isEmpty()) request += "Proxy-Authorization: " + proxyAuthorization_ + "\r\n";
  if (method_ == "POST") {
    request += "Content-Type: application/x-www-form-urlencoded\r\n";
    request += "Content-Length: " + QByteArray::number(form_.size()) + "\r\n\r\n" + form_;
  } else {
    request += "\r\n";
  }
  socket_->write(request);
}

void UpdateRequest::ReadAnswer() {
  // One piece at a time, each handed to the reader, which holds at most its limit of head and body.
  while (socket_ && reader_ && socket_->bytesAvailable() > 0) {
    const QByteArray piece = socket_->read(kReadPiece);
    const HttpAnswerReader::Progress progress = reader_->Feed(piece);
    if (progress != HttpAnswerReader::Progress::NeedMore) return OnProgress(progress);
  }
}

void UpdateRequest::OnProgress(HttpAnswerReader::Progress progress) {
  if (!reader_ || progress == HttpAnswerReader::Progress::NeedMore) return;
  if (progress == HttpAnswerReader::Progress::NoStatus) return Finish(kNoStatus);
  if (progress == HttpAnswerReader::Progress::Broken) return Finish(kConnectionFailed);
  const int status = reader_->Status();
  if (status / 100 == 3 && status != 304) {
    if (!Redirect(reader_->Field("location"))) Finish(kConnectionFailed);
    return;
  }
  // An error page is not an answer, however long.
  if (status != 200) return Finish(status);
  Finish(0, reader_->Body());
}

bool UpdateRequest::Redirect(const QByteArray& location) {
  const QUrl next = url_.resolved(QUrl::fromEncoded(location));
  const QString scheme = next.scheme();
  // Never from an encrypted connection to a plain one, and never in circles.
  if (location.isEmpty() || ++redirects_ > kMaxRedirects ||
      (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
      (url_.scheme() == QLatin1String("https") && scheme == QLatin1String("http")))
    return false;
  const int status = reader_->Status();
  // As browsers do: 307 and 308 repeat the POST, the others fetch the new address.
  if (status != 307 && status != 308) method_ = "GET";
  QTcpSocket* old = socket_;
  old->disconnect(this);
  old->abort();
  old->deleteLater();
  url_ = next;
  Connect();
  return true;
}

void UpdateRequest::Abort() {
  deadline_.stop();
  reader_.reset();
  if (!socket_) return;
  QTcpSocket* socket = socket_;
  socket_ = nullptr;
  socket->disconnect(this);
  socket->abort();
  socket->deleteLater();
}

void UpdateRequest::Finish(int result, const QByteArray& answer) {
  if (!socket_) return;
  const QByteArray kept = answer;  // `answer` may be the reader's body, which Abort() frees
  Abort();
  emit Finished(result, kept);
}

}  // namespace services
