#pragma once
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// The update endpoint on 127.0.0.1, in the test's own event loop: it takes each request whole (headers
// and the Content-Length body), records it, then answers (whole, in chunks, or after a redirection),
// streams a body or one header line without end, or stays silent.
class LocalHttpServer : public QTcpServer {
 public:
  enum class Behaviour { Answer, Chunked, Redirect, Endless, EndlessHead, Silent };

  LocalHttpServer() {
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnData(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { ++closedByClient, socket->deleteLater(); });
      }
    });
  }

  QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

  Behaviour behaviour = Behaviour::Answer;
  int status = 200;
  QByteArray answer;  // the body; for Endless the start of an answer that never ends
  QList<QByteArray> requests;
  int closedByClient = 0;
  qint64 bytesSent = 0;  // of the endless kinds

 private:
  void OnData(QTcpSocket* socket) {
    QByteArray& received = pending_[socket];
    received += socket->readAll();
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    const QByteArray lower = received.toLower();
    const qsizetype field = lower.indexOf("\r\ncontent-length:");
    const qsizetype length =
        field < 0 ? 0 : lower.mid(field + 17, lower.indexOf("\r\n", field + 2) - field - 17).trimmed().toInt();
    if (headEnd < 0 || received.size() < headEnd + 4 + length) return;
    requests.push_back(received);
    pending_.remove(socket);
    if (behaviour == Behaviour::Silent) return;
    if (behaviour == Behaviour::Redirect && !received.startsWith("GET /moved ")) {
      socket->write("HTTP/1.1 302 Found\r\nLocation: /moved\r\nContent-Length: 0\r\n\r\n");
      return;  // the same connection may ask again; the client opens a new one
    }
    if (behaviour == Behaviour::Chunked) {
      const QByteArray first = answer.left(2), rest = answer.mid(2);
      socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray::number(first.size(), 16) +
                    ";x=y\r\n" + first + "\r\n" + QByteArray::number(rest.size(), 16) + "\r\n" + rest +
                    "\r\n0\r\nX-Trailer: 1\r\n\r\n");
      return;  // the length is in the chunks: the connection stays open
    }
    if (behaviour == Behaviour::Answer || behaviour == Behaviour::Redirect) {
      socket->write("HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
                    "\r\nContent-Length: " + QByteArray::number(answer.size()) + "\r\nConnection: close\r\n\r\n" +
                    answer);
      socket->disconnectFromHost();
      return;
    }
    // No length and no end: another piece each time the last one has left; for EndlessHead all of it
    // one header line.
    socket->write(behaviour == Behaviour::EndlessHead ? QByteArray("HTTP/1.1 200 OK\r\nX-Endless: ")
                                                      : "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + answer);
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 written) {
      bytesSent += written;
      if (socket->bytesToWrite() == 0) socket->write(QByteArray(16384, 'x'));
    });
  }

  QHash<QTcpSocket*, QByteArray> pending_;
};
