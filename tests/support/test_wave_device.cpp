#include "tests/support/test_wave_device.h"

namespace testing_support {

using namespace engine;

TestWaveOutStream::~TestWaveOutStream() {
  std::lock_guard<std::mutex> lock(system_.mutex_);
  if (system_.current_ == this) system_.current_ = nullptr;
}

MmResult TestWaveOutStream::Prepare(WaveHeader& header) {
  header.flags = (header.flags | kHeaderPrepared) & ~kHeaderDone;
  return kMmNoError;
}

MmResult TestWaveOutStream::Unprepare(WaveHeader& header) {
  const uint32_t flags = header.flags;
  if ((flags & kHeaderInQueue) && !(flags & kHeaderDone)) return kWaveStillPlaying;
  header.flags = flags & ~kHeaderPrepared;
  return kMmNoError;
}

MmResult TestWaveOutStream::Write(WaveHeader& header) {
  if (!(header.flags & kHeaderPrepared)) return kWaveUnprepared;
  if (failWrite) return kMmNoMemory;
  system_.writer_ = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ == static_cast<int>(queue_.size())) return kMmNoMemory;
  header.flags = (header.flags | kHeaderInQueue) & ~kHeaderDone;
  queue_[(head_ + count_++) % queue_.size()] = &header;
  ++system_.written_;
  return kMmNoError;
}

MmResult TestWaveOutStream::Reset() {
  {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    ++system_.resets_;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (; count_ > 0; --count_, head_ = (head_ + 1) % queue_.size())
    queue_[head_]->flags = (queue_[head_]->flags | kHeaderDone) & ~kHeaderInQueue;
  return kMmNoError;
}

MmResult TestWaveOutStream::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ > 0) return kWaveStillPlaying;
  }
  std::lock_guard<std::mutex> lock(system_.mutex_);
  ++system_.closes_;
  if (system_.current_ == this) system_.current_ = nullptr;
  return kMmNoError;
}

MmResult TestWaveOutStream::SetVolume(uint32_t volume) {
  std::lock_guard<std::mutex> lock(system_.mutex_);
  system_.waveVolumes_[index_] = volume;
  return kMmNoError;
}

int TestWaveOutStream::PlayLocked(int count) {
  int played = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  for (; played < count && count_ > 0; ++played, --count_, head_ = (head_ + 1) % queue_.size()) {
    WaveHeader* header = queue_[head_];
    system_.played_.insert(system_.played_.end(), header->data, header->data + header->bufferLength);
    header->flags = (header->flags | kHeaderDone) & ~kHeaderInQueue;
    ++system_.playedBuffers_;
  }
  return played;
}

MmResult TestWaveOutSystem::DeviceName(unsigned index, std::string* name) {
  if (index >= names_.size()) return kMmBadDeviceId;
  *name = names_[index];
  return kMmNoError;
}

MmResult TestWaveOutSystem::Open(unsigned index, const WaveFormat& format, std::unique_ptr<IWaveOutStream>* stream) {
  if (index >= names_.size()) return kMmBadDeviceId;
  if (openResult != kMmNoError) return openResult;
  if (onOpen) onOpen();
  auto opened = std::make_unique<TestWaveOutStream>(*this, index);
  std::lock_guard<std::mutex> lock(mutex_);
  current_ = opened.get();
  formats_.push_back(format);
  ++opens_;
  *stream = std::move(opened);
  return kMmNoError;
}

bool TestWaveOutSystem::SetMixerVolume(unsigned index, unsigned percent) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= names_.size()) return false;
  mixer_[index] = percent;
  return true;
}

// Under the system lock, so the engine cannot close (and destroy) the stream meanwhile.
int TestWaveOutSystem::Play(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_ ? current_->PlayLocked(count) : 0;
}

int TestWaveOutSystem::Queued() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!current_) return 0;
  std::lock_guard<std::mutex> streamLock(current_->mutex_);
  return current_->count_;
}

}  // namespace testing_support
