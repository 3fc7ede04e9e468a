#include "services/http_answer_reader.h"

#include <QList>
#include <algorithm>

namespace services {

namespace {

// A chunk-size line longer than this is not one (hex digits and a short extension at most).
constexpr qsizetype kMaxChunkLine = 1024;

// The end of the head ("\r\n\r\n" or "\n\n") in `text` at or after `from`, as the offset just past it;
// -1 when absent.
qsizetype HeadEnd(const QByteArray& text, qsizetype from) {
  const qsizetype crlf = text.indexOf("\r\n\r\n", from);
  const qsizetype lf = text.indexOf("\n\n", from);
  if (crlf >= 0 && (lf < 0 || crlf < lf)) return crlf + 4;
  return lf >= 0 ? lf + 2 : -1;
}

}  // namespace

HttpAnswerReader::Progress HttpAnswerReader::Feed(QByteArrayView data) {
  if (state_ != Progress::NeedMore) return state_;
  pending_.append(data);
  if (!headDone_) state_ = ReadHead();
  if (state_ == Progress::NeedMore && headDone_) state_ = ReadBody();
  return state_;
}

HttpAnswerReader::Progress HttpAnswerReader::End() {
  if (state_ != Progress::NeedMore) return state_;
  if (!headDone_) return state_ = head_.isEmpty() && pending_.isEmpty() ? Progress::Broken : Progress::NoStatus;
  // Only an answer that gave no length and no chunks ends with the connection.
  state_ = !chunked_ && length_ < 0 ? Progress::Complete : Progress::Broken;
  return state_;
}

HttpAnswerReader::Progress HttpAnswerReader::ReadHead() {
  // Only the new bytes and the three before them can complete the end mark: a server that sends its
  // head a byte at a time costs no rescans of what came before.
  const qsizetype from = std::max<qsizetype>(0, head_.size() - 3);
  head_.append(pending_);
  pending_.clear();
  const qsizetype end = HeadEnd(head_, from);
  if (end < 0) {
    if (head_.size() > limit_) return Progress::Broken;
    // The status line is known before the head ends: a server that answers no HTTP is left at once.
    if (head_.size() >= 5 && !head_.startsWith("HTTP/")) return Progress::NoStatus;
    return Progress::NeedMore;
  }
  pending_ = head_.mid(end);
  head_.truncate(end);
  if (head_.size() > limit_) return Progress::Broken;
  const QList<QByteArray> lines = head_.split('\n');
  const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
  bool number = false;
  status_ = statusLine.size() >= 2 && statusLine[0].startsWith("HTTP/1.") ? statusLine[1].toInt(&number) : 0;
  if (!number || status_ < 100 || status_ > 999) return Progress::NoStatus;
  if (status_ / 100 == 1) {  // an interim answer ("100 Continue"): the real one follows
    head_.clear();
    status_ = 0;
    return pending_.isEmpty() ? Progress::NeedMore : ReadHead();
  }
  headDone_ = true;
  chunked_ = Field("transfer-encoding").toLower().contains("chunked");
  const QByteArray length = Field("content-length");
  if (!chunked_ && !length.isEmpty()) {
    bool ok = false;
    length_ = length.toLongLong(&ok);
    if (!ok || length_ < 0) return Progress::Broken;
  }
  if (status_ == 204 || status_ == 304) length_ = 0;
  return Progress::NeedMore;
}

QByteArray HttpAnswerReader::Field(QByteArrayView name) const {
  const QList<QByteArray> lines = head_.split('\n');
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const qsizetype colon = lines[i].indexOf(':');
    if (colon > 0 && lines[i].left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
      return lines[i].mid(colon + 1).trimmed();
  }
  return {};
}

HttpAnswerReader::Progress HttpAnswerReader::ReadBody() {
  if (chunked_) return ReadChunks();
  QByteArray data;
  data.swap(pending_);
  if (length_ >= 0) data.truncate(std::min<qint64>(data.size(), length_ - body_.size()));
  const Progress progress = AddBody(data);
  if (progress != Progress::NeedMore) return progress;
  return length_ >= 0 && body_.size() >= length_ ? Progress::Complete : Progress::NeedMore;
}

HttpAnswerReader::Progress HttpAnswerReader::ReadChunks() {
  for (;;) {
    if (chunkLeft_ > 0) {
      const qsizetype take = std::min<qint64>(chunkLeft_, pending_.size());
      const Progress progress = AddBody(QByteArrayView(pending_).first(take));
      pending_.remove(0, take);
      chunkLeft_ -= take;
      if (progress != Progress::NeedMore || chunkLeft_ > 0) return progress;
      chunkLeft_ = -2;  // the line break after the chunk's data comes next
    }
    const qsizetype lineEnd = pending_.indexOf('\n');
    if (lineEnd < 0) return pending_.size() > kMaxChunkLine ? Progress::Broken : Progress::NeedMore;
    const QByteArray line = pending_.left(lineEnd).trimmed();
    pending_.remove(0, lineEnd + 1);
    if (trailers_) {
      if (line.isEmpty()) return Progress::Complete;
      continue;
    }
    if (chunkLeft_ == -2) {  // the data's closing line break
      if (!line.isEmpty()) return Progress::Broken;
      chunkLeft_ = -1;
      continue;
    }
    bool ok = false;
    const qint64 size =
        line.left(line.indexOf(';') < 0 ? line.size() : line.indexOf(';')).trimmed().toLongLong(&ok, 16);
    if (!ok || size < 0) return Progress::Broken;
    if (size == 0) {
      trailers_ = true;
      continue;
    }
    chunkLeft_ = size;
  }
}

HttpAnswerReader::Progress HttpAnswerReader::AddBody(QByteArrayView data) {
  body_.append(data.first(std::min(data.size(), limit_ - body_.size())));
  // Reading stops at the limit: what came so far is the answer.
  return body_.size() >= limit_ ? Progress::Complete : Progress::NeedMore;
}

}  // namespace services
