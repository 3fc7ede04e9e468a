#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QVector>

// An HTTP server on 127.0.0.1 in the test's own event loop, playing the update endpoint. It reads each
// request whole (headers and the Content-Length body), records it, then behaves as told.
class LocalHttpServer : public QTcpServer {
 public:
  enum class Behaviour { Answer, Endless, Silent };

  struct Request {
    QByteArray head;  // request line and headers
    QByteArray body;
  };

  LocalHttpServer() {
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnData(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
          ++closedByClient;
          socket->deleteLater();
        });
      }
    });
  }

  QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

  Behaviour behaviour = Behaviour::Answer;
  int status = 200;
  QByteArray answer;  // the body; for Endless the start of an answer that never ends
  QVector<Request> requests;
  int closedByClient = 0;
  qint64 endlessBytesSent = 0;

 private:
  void OnData(QTcpSocket* socket) {
    QByteArray& received = pending_[socket];
    received += socket->readAll();
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0) return;
    const QByteArray head = received.left(headEnd);
    qsizetype length = 0;
    for (const QByteArray& line : head.split('\n'))
      if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
    if (received.size() < headEnd + 4 + length) return;
    requests.push_back({head, received.mid(headEnd + 4, length)});
    pending_.remove(socket);
    Respond(socket);
  }

  void Respond(QTcpSocket* socket) {
    if (behaviour == Behaviour::Silent) return;
    const QByteArray reason = status == 200 ? "OK" : "Not Found";
    if (behaviour == Behaviour::Answer) {
      socket->write("HTTP/1.1 " + QByteArray::number(status) + " " + reason + "\r\nContent-Type: text/plain\r\n" +
                    "Content-Length: " + QByteArray::number(answer.size()) + "\r\nConnection: close\r\n\r\n" + answer);
      socket->disconnectFromHost();
      return;
    }
    // No length and no end: more data each time the last piece has left.
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" + answer);
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 written) {
      endlessBytesSent += written;
      if (socket->bytesToWrite() == 0) socket->write(QByteArray(16384, 'x'));
    });
  }

  QHash<QTcpSocket*, QByteArray> pending_;
};
