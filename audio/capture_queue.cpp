#include "audio/capture_queue.h"

#include <algorithm>
#include <cstring>

namespace audio {

using engine::kMaxBlockBytes;

namespace {
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
}  // namespace

CaptureQueue::CaptureQueue(size_t capacityBytes) : storage_(std::max<size_t>(capacityBytes, kMaxBlockBytes)) {}

void CaptureQueue::SetEvent(std::shared_ptr<platform::Event> event) {
  std::unique_lock<std::mutex> lock(mutex_);
  event_ = std::move(event);
  eventSet_ = false;
  WakeReader(std::move(lock));
}

void CaptureQueue::SetReader(std::function<void()> reader) {
  std::unique_lock<std::mutex> lock(mutex_);
  reader_ = std::move(reader);
  WakeReader(std::move(lock));
}

void CaptureQueue::Start(const engine::StreamFormat& format) {
  std::unique_lock<std::mutex> lock(mutex_);
  head_ = size_ = 0;
  format_ = format;
  haveFormat_ = true;
  formatPending_ = true;
  // A stop that the reader has not seen yet is superseded by the format report that follows it.
  stopPending_ = false;
  streaming_ = true;
  WakeReader(std::move(lock));
}

void CaptureQueue::Stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!streaming_) return;
  streaming_ = false;
  // A stream whose format report the reader never took is dropped whole; the stop still goes out, since
  // the reader may still be streaming an earlier one.
  if (formatPending_) {
    formatPending_ = false;
    head_ = size_ = 0;
  }
  stopPending_ = true;
  WakeReader(std::move(lock));
}

void CaptureQueue::Push(std::span<const uint8_t> data) {
  Append(data);
  Publish();
}

bool CaptureQueue::Publish() { return WakeReader(std::unique_lock<std::mutex>(mutex_)); }

void CaptureQueue::Append(std::span<const uint8_t> data) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!streaming_) return;
  const size_t room = storage_.size() - size_;
  if (data.size() > room) {
    dropped_ += data.size() - room;
    data = data.first(room);
  }
  const size_t tail = (head_ + size_) % storage_.size();
  const size_t first = std::min(data.size(), storage_.size() - tail);
  std::memcpy(storage_.data() + tail, data.data(), first);
  std::memcpy(storage_.data(), data.data() + first, data.size() - first);
  size_ += data.size();
}

bool CaptureQueue::Streaming() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return streaming_;
}

bool CaptureQueue::Drained() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !streaming_ && !formatPending_ && !stopPending_ && size_ == 0;
}

uint64_t CaptureQueue::DroppedBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

size_t CaptureQueue::TakeLocked(std::span<uint8_t> output) {
  const size_t bytes = output.size();
  const size_t first = std::min(bytes, storage_.size() - head_);
  std::memcpy(output.data(), storage_.data() + head_, first);
  std::memcpy(output.data() + first, storage_.data(), bytes - first);
  head_ = (head_ + bytes) % storage_.size();
  size_ -= bytes;
  return bytes;
}

uint32_t CaptureQueue::Read(std::span<uint8_t> output) {
  const size_t capacity = output.size();
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t answer = engine::kReadNothingWaiting;
  if (formatPending_) {
    formatPending_ = false;
    answer = engine::kReadFormatChanged;
  } else if (haveFormat_ && format_.blockBytes > 0) {
    const size_t frameBytes = std::max<size_t>(1, size_t(format_.channels) * format_.bitsPerSample / 8);
    const size_t block = std::min<size_t>(format_.blockBytes, capacity - capacity % frameBytes);
    if (block > 2 && size_ >= block) {
      answer = uint32_t(TakeLocked(output.first(block)));
    } else if (stopPending_) {
      // The tail of the stream goes out before the stop; a tail too short to tell from an answer is dropped.
      size_t tail = std::min(size_ - size_ % frameBytes, block);
      if (tail > 2) {
        answer = uint32_t(TakeLocked(output.first(tail)));
      } else {
        head_ = size_ = 0;
        stopPending_ = false;
        answer = engine::kReadStopped;
      }
    }
  }
  // Whatever the reader does to the event wakes nobody but itself.
  if (auto keep = UpdateEventLocked()) keep->Set();
  return answer;
}

bool CaptureQueue::Answer(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error) {
  *bytesReturned = 0;
  switch (code) {
    case engine::kRequestRegisterEvent: {
      auto event = platform::OpenNamedEvent(engine::kDriverEventName);
      if (!event) {
        *error = kErrorFileNotFound;
        return false;
      }
      SetEvent(std::move(event));
      return true;
    }
    case engine::kRequestReadBlock:
      if (!output || outputBytes == 0) {
        *error = kErrorInvalidParameter;
        return false;
      }
      *bytesReturned = Read({static_cast<uint8_t*>(output), std::min(outputBytes, kMaxBlockBytes)});
      return true;
    case engine::kRequestReadFormat: {
      if (!output || outputBytes < sizeof(engine::StreamFormat)) {
        *error = kErrorInsufficientBuffer;
        return false;
      }
      engine::StreamFormat format;
      if (!ReadFormat(&format)) {
        *error = engine::kErrorNoAccess;
        return false;
      }
      std::memcpy(output, &format, sizeof format);
      *bytesReturned = sizeof format;
      return true;
    }
    default: *error = kErrorInvalidFunction; return false;
  }
}

bool CaptureQueue::ReadFormat(engine::StreamFormat* format) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!haveFormat_) return false;
  *format = format_;
  return true;
}

bool CaptureQueue::WaitingLocked() const {
  if (formatPending_ || stopPending_) return true;
  return haveFormat_ && format_.blockBytes > 2 && size_ >= format_.blockBytes;
}

std::shared_ptr<platform::Event> CaptureQueue::UpdateEventLocked() {
  if (!event_) return nullptr;
  if (!WaitingLocked()) {
    event_->Reset();
    eventSet_ = false;
    return nullptr;
  }
  if (eventSet_) return nullptr;  // already signalled for what waits: a chunk that adds to it wakes nobody
  eventSet_ = true;
  return event_;
}

bool CaptureQueue::WakeReader(std::unique_lock<std::mutex> lock) {
  const bool waiting = WaitingLocked();
  if (reader_) {
    lock.unlock();
    if (waiting) reader_();
    return waiting;
  }
  std::shared_ptr<platform::Event> wake = UpdateEventLocked();
  // Set after unlocking: the woken reader goes straight for this lock, and would only be sent back to sleep.
  // A Set that lands after the reader has emptied the queue costs it one spurious pass, nothing more.
  lock.unlock();
  if (wake) wake->Set();
  return waiting;
}

engine::StreamFormat MakeStreamFormat(uint16_t channels, uint16_t bitsPerSample, uint32_t samplesPerSec) {
  engine::StreamFormat format;
  format.channels = channels;
  format.bitsPerSample = bitsPerSample;
  format.samplesPerSec = samplesPerSec;
  const uint32_t frameBytes = std::max<uint32_t>(1, uint32_t(channels) * bitsPerSample / 8);
  uint32_t frames = std::max<uint32_t>(1, samplesPerSec / 100);
  frames = std::min(frames, kMaxBlockBytes / frameBytes);
  // Blocks of 1 or 2 bytes would read as a format or stop answer.
  while (frames * frameBytes <= 2) ++frames;
  format.blockBytes = frames * frameBytes;
  return format;
}

}  // namespace audio
