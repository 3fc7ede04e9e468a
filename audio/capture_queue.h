#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "engine/driver_protocol.h"
#include "platform/event.h"

namespace audio {

// The driver side of the protocol, independent of where the sound comes from: captured PCM is cut into
// blocks of whole frames, and the reader is told about format changes and stops in the order they happened.
// The producer (a capture callback) and the reader (the engine's capture thread) meet under one short lock;
// the storage is allocated once, so neither side allocates per block.
class CaptureQueue {
 public:
  explicit CaptureQueue(size_t capacityBytes = 64 * engine::kMaxBlockBytes);

  // The event the reader waits on: set whenever something waits, reset by Read when nothing does.
  void SetEvent(std::shared_ptr<platform::Event> event);
  // A reader called on the producer's thread whenever something waits (and at once, if something does),
  // instead of setting the event; it reads until nothing waits. Null ends it. Call it where no producer
  // call runs at the same time (the producer's lock held), so it never changes under a running call.
  void SetReader(std::function<void()> reader);

  // Producer side.
  // Streaming (re)starts in this format: pending data is dropped and the next answer is a format report.
  // `blockBytes` is a whole number of frames and at most kMaxBlockBytes.
  void Start(const engine::StreamFormat& format);
  // Playback ended: what was captured is still delivered, then a stop report; data is refused until Start.
  void Stop();
  // Appends captured bytes (the capture's frames); refused while stopped. Full storage drops the newest.
  void Push(std::span<const uint8_t> data);
  // Push in pieces: Append adds without waking the reader, Publish then wakes it once for all of them, so
  // the reader does not start on the first piece while the producer still needs the lock for the next.
  // Publish says whether a whole block (or a report) was there for the reader.
  void Append(std::span<const uint8_t> data);
  bool Publish();
  bool Streaming() const;
  // Nothing streams and the reader has taken every answer, the last stop included.
  bool Drained() const;
  uint64_t DroppedBytes() const;

  // The driver's whole answer to one protocol request (register event, read block, read format), with the
  // system error codes a driver sets on failure.
  bool Answer(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error);

  // Reader side: the answers of the block and format requests.
  // kReadFormatChanged, kReadStopped, kReadNothingWaiting or a PCM byte count (> 2, whole frames) written
  // to the start of `output`.
  uint32_t Read(std::span<uint8_t> output);
  // False while no format has been reported yet.
  bool ReadFormat(engine::StreamFormat* format) const;

 private:
  bool WaitingLocked() const;
  // Resets the event when nothing waits; returns it when it is to be set (the caller sets it unlocked).
  std::shared_ptr<platform::Event> UpdateEventLocked();
  // Producer side: updates the event, unlocks, then sets it when needed.
  bool WakeReader(std::unique_lock<std::mutex> lock);
  // Moves the first `output.size()` stored bytes into `output`.
  size_t TakeLocked(std::span<uint8_t> output);

  mutable std::mutex mutex_;
  std::vector<uint8_t> storage_;
  size_t head_ = 0;  // read position
  size_t size_ = 0;  // bytes stored
  engine::StreamFormat format_{};
  bool haveFormat_ = false;
  bool formatPending_ = false;
  bool stopPending_ = false;
  bool streaming_ = false;
  uint64_t dropped_ = 0;
  std::shared_ptr<platform::Event> event_;
  bool eventSet_ = false;  // set since the last reset
  std::function<void()> reader_;
};

// Stream format records for the formats the capture produces: blocks of about 10 ms of whole frames.
engine::StreamFormat MakeStreamFormat(uint16_t channels, uint16_t bitsPerSample, uint32_t samplesPerSec);

}  // namespace audio
