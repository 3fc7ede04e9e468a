#pragma once
#include <QByteArray>
#include <QByteArrayView>

namespace services {

// Reads one HTTP/1.x answer as its bytes arrive, holding no more than `limit` bytes of head and `limit`
// bytes of body whatever the server sends: a server that sends one header line without end, or an
// endless body, costs at most that much memory and the time it takes to read it.
class HttpAnswerReader {
 public:
  enum class Progress {
    NeedMore,  // not complete yet
    Complete,  // the whole answer, or its first `limit` body bytes
    NoStatus,  // no "HTTP/1.x NNN" status line
    Broken,    // a head longer than `limit`, a damaged chunk, or the connection closed inside the body
  };

  explicit HttpAnswerReader(qsizetype limit) : limit_(limit) {}

  Progress Feed(QByteArrayView data);
  // The server closed the connection: an answer without a length ends here.
  Progress End();

  int Status() const { return status_; }
  // A header field's value (the first field of that name, any letter case), empty when absent.
  QByteArray Field(QByteArrayView name) const;
  const QByteArray& Body() const { return body_; }

 private:
  Progress ReadHead();
  Progress ReadBody();
  Progress ReadChunks();
  Progress AddBody(QByteArrayView data);

  const qsizetype limit_;
  QByteArray pending_;  // bytes received and not yet taken into the head or the body
  QByteArray head_;
  QByteArray body_;
  int status_ = 0;
  bool headDone_ = false;
  bool chunked_ = false;
  qint64 length_ = -1;     // Content-Length; -1 when the answer ends with the connection
  qint64 chunkLeft_ = -1;  // bytes left of the current chunk; -1 before its size line
  bool trailers_ = false;  // past the last chunk, reading the trailer lines
  Progress state_ = Progress::NeedMore;
};

}  // namespace services
