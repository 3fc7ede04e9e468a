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
  std::lock_guard<std::mutex> lock(system_.mutex_);
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
    ReturnLocked(count_, false);
  }
  if (system_.onReset) system_.onReset();
  return kMmNoError;
}

MmResult TestWaveOutStream::Close() {
  if (system_.onClose) system_.onClose();
  std::lock_guard<std::mutex> lock(system_.mutex_);
  if (count_ > 0) return kWaveStillPlaying;
  ++system_.closes_;
  if (system_.current_ == this) system_.current_ = nullptr;
  return kMmNoError;
}

bool TestWaveOutStream::HoldsItsQueue() const { return system_.holdsItsQueue.load(); }

engine::QueueTiming TestWaveOutStream::Timing() const {
  engine::QueueTiming timing;
  timing.underruns = system_.underruns.load();
  timing.targetMs = system_.targetMs.load();
  return timing;
}

MmResult TestWaveOutStream::SetVolume(uint32_t volume) {
  std::lock_guard<std::mutex> lock(system_.mutex_);
  system_.waveVolumes_[index_] = volume;
  return kMmNoError;
}

int TestWaveOutStream::ReturnLocked(int count, bool played) {
  int returned = 0;
  for (; returned < count && count_ > 0; ++returned, --count_, head_ = (head_ + 1) % queue_.size()) {
    WaveHeader* header = queue_[head_];
    if (played) {
      system_.played_.insert(system_.played_.end(), header->data, header->data + header->bufferLength);
      ++system_.playedBuffers_;
    }
    header->flags = (header->flags | kHeaderDone) & ~kHeaderInQueue;
  }
  return returned;
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

int TestWaveOutSystem::Play(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_ ? current_->ReturnLocked(count, true) : 0;
}

int TestWaveOutSystem::Queued() {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_ ? current_->count_ : 0;
}

}  // namespace testing_support
