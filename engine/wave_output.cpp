#include "engine/wave_output.h"

#include <algorithm>
#include <cmath>

#include "engine/capture_ring.h"
#include "engine/exceptions.h"
#include "engine/sample_conversion.h"

namespace engine {
namespace {
constexpr const char* kNoDevice = "No output device found";
// A dry queue is topped up to this many buffers.
constexpr int kTopUpLevel = 3;
// Blocks (about 10 ms each) over which a queue must stay above the top-up level before one is paid back.
constexpr int kPayBackWindowBlocks = 50;
// A device that runs dry this soon after a pay-back needed that cushion: it is kept until the next Open.
constexpr int kPayBackSettleBlocks = 200;
// The outer band: above this many queued buffers input is dropped, down to the drain level.
constexpr int kOverFullBuffers = 8;
constexpr int kDrainLevel = 6;
// A device that holds its queue is drained down to about its target, but never into the band's dry edge.
constexpr int kMinDrainLevel = 2;
// After the outer band has dropped input, blocks (about 10 ms each) before it judges the queue again: the
// queue reads deep until the device has played what was written before the drop took effect.
constexpr int kDropHoldBlocks = 100;
}

CWaveOutput::CWaveOutput(IWaveOutSystem& devices, CCaptureRing& input) : devices_(devices), input_(input) {}

CWaveOutput::~CWaveOutput() {
  Close();
  ReleaseBuffers();
}

bool CWaveOutput::DeviceNamed() {
  platform::Guard guard(outputLock_);
  return !deviceName_.empty();
}

void CWaveOutput::CheckDeviceIndex(bool named) {
  // A device selected while it existed is known by name; its number may be out of range by now.
  if (named) return;
  if (deviceIndex_ > static_cast<int>(devices_.DeviceCount()) - 1) throw ParamException(kNoDevice);
}

void CWaveOutput::SelectDevice(int index) {
  std::string name;
  if (index >= 0 && devices_.DeviceName(static_cast<unsigned>(index), &name) != kMmNoError) name.clear();
  {
    platform::Guard guard(outputLock_);
    deviceName_ = name;
  }
  deviceIndex_ = index;
  CheckDeviceIndex(DeviceNamed());
  // Outside the output lock: the system may wait for its own loop, whose thread takes that lock.
  if (!name.empty()) devices_.MoveOpenStreams(name);
}

std::string CWaveOutput::GetDeviceName(int index) {
  std::string name;
  if (index < 0 || devices_.DeviceName(static_cast<unsigned>(index), &name) != kMmNoError)
    throw ParamException(kNoDevice);
  return name;
}

namespace {
// Opens the device with a fixed format just long enough to set its volumes.
void SetDeviceVolumes(IWaveOutSystem& devices, int index, uint32_t waveVolume, unsigned mixerPercent) {
  WaveFormat format{kWaveFormatPcm, 2, 44100, 88200, 2, 8, 0};
  std::unique_ptr<IWaveOutStream> stream;
  if (devices.Open(static_cast<unsigned>(index), format, &stream) != kMmNoError || !stream) return;
  stream->SetVolume(waveVolume);
  devices.SetMixerVolume(static_cast<unsigned>(index), mixerPercent);
  stream->Close();
}
}  // namespace

void CWaveOutput::MuteDevice() {
  CheckDeviceIndex(DeviceNamed());
  if (deviceIndex_ >= 0) SetDeviceVolumes(devices_, deviceIndex_, 0, 0);
}

void CWaveOutput::RestoreDeviceVolume() {
  CheckDeviceIndex(DeviceNamed());
  if (deviceIndex_ >= 0) SetDeviceVolumes(devices_, deviceIndex_, 0x10001000, 50);
}

void CWaveOutput::SetMixerVolume(unsigned percent) {
  if (deviceIndex_ < 0) return;
  CheckDeviceIndex(DeviceNamed());
  devices_.SetMixerVolume(static_cast<unsigned>(deviceIndex_.load()), percent);
}

std::string CWaveOutput::ErrorText(MmResult code) {
  switch (code) {
    case kMmNoError: return "";
    case kMmBadDeviceId: return "Specified device identifier is out of range.";
    case kMmAllocated: return "Specified resource is already allocated.";
    case kMmInvalidHandle: return "Specified device handle is invalid.";
    case kMmNoDriver: return "No device driver is present.";
    case kMmNoMemory: return "Unable to allocate or lock memory.";
    case kWaveBadFormat: return "Attempted to open with an unsupported waveform-audio format.";
    case kWaveStillPlaying: return "The buffer pointed to by the pwh parameter is still in the queue.";
    case kWaveUnprepared: return "The buffer pointed to by the pwh parameter hasn't been prepared.";
    default: return "Unknown error";
  }
}

void CWaveOutput::SetFormat(int bits, int rate, int channels) {
  blockReady_.Reset();
  // Both locks: the processing thread reads the format under either while it converts a block.
  platform::Guard output(outputLock_);
  platform::Guard ring(input_.Lock());
  format_.formatTag = kWaveFormatPcm;
  format_.channels = static_cast<uint16_t>(channels);
  format_.bitsPerSample = static_cast<uint16_t>(bits);
  format_.blockAlign = static_cast<uint16_t>(channels * bits / 8);
  format_.samplesPerSec = static_cast<uint32_t>(rate);
  format_.avgBytesPerSec = format_.blockAlign * format_.samplesPerSec;
  format_.extraSize = 0;
  formatChanged_ = 1;
}

void CWaveOutput::Open(uint32_t blockBytes) {
  if (blockBytes == 0) throw ParamException("Invalid state. Input device is not initialized.");
  platform::Guard guard(outputLock_);
  blockBytes_ = blockBytes;
  if (blockBytes > 16384) throw ParamException("Invalid size for output buffer.");
  CheckDeviceIndex(!deviceName_.empty());
  ReserveBuffersLocked();
  for (int i = 0; i < kOutputBuffers; ++i) {
    WaveHeader& header = headers_[i];
    header.data = buffers_[i].get();
    header.bufferLength = blockBytes;
    header.bytesRecorded = 0;
    header.user = 0;
    header.flags = 0;
    header.loops = 0;
  }
  currentHeader_ = 0;
  lastQueued_ = 0;
  owedSilence_ = windowBlocks_ = 0;
  underrunsSeen_ = 0;
  dropHold_ = 0;
  sincePayBack_ = kPayBackSettleBlocks;
  keepCushion_ = false;
  if (deviceIndex_ < 0) return;

  std::unique_ptr<IWaveOutStream> stream;
  const MmResult result = deviceName_.empty()
                              ? devices_.Open(static_cast<unsigned>(deviceIndex_.load()), format_, &stream)
                              : devices_.OpenNamed(deviceName_, format_, &stream);
  if (result != kMmNoError || !stream) {
    stream_.reset();
    throw ParamException("waveOutOpen failed." + ErrorText(result == kMmNoError ? kMmInvalidHandle : result));
  }
  stream_ = std::move(stream);
  stream_->SetVolume(0xFFFFFFFF);
  devices_.SetMixerVolume(static_cast<unsigned>(deviceIndex_.load()), 100);
  UnprepareAllLocked(stream_.get());
}

void CWaveOutput::UnprepareAllLocked(IWaveOutStream* stream) {
  for (WaveHeader& header : headers_) {
    if (stream && header.data) stream->Unprepare(header);
    header.flags = 0;
  }
}

void CWaveOutput::Close() {
  std::unique_ptr<IWaveOutStream> stream;
  {
    // Taken away first: the processing thread may still hold blocks of the stream that ends, and it must
    // not write them, nor read the reset queue as dry and top it up with silence (which would open the
    // device's stream again).
    platform::Guard guard(outputLock_);
    stream = std::move(stream_);
  }
  if (!stream) return;
  // The device's calls stay outside the lock: it may take a while to hand every buffer back, and it may
  // take a lock of its own that its thread holds while it plays blocks through here.
  stream->Reset();
  {
    platform::Guard guard(outputLock_);
    UnprepareAllLocked(stream.get());
    blockBytes_ = 0;
  }
  stream->Close();
}

bool CWaveOutput::IsOpen() {
  platform::Guard guard(outputLock_);
  return stream_ != nullptr;
}

int CWaveOutput::ReadChannel(const InputSlot& slot, std::span<double> destination, int channel) {
  if (format_.blockAlign == 0) return 0;
  const int frames = static_cast<int>(slot.length / format_.blockAlign);
  if (destination.size() < static_cast<size_t>(frames)) throw ParamException("vector is too small");
  const int sampleBytes = format_.blockAlign / format_.channels;
  pcm::ReadChannel(slot.data + sampleBytes * channel, format_.blockAlign, format_.bitsPerSample,
                   destination.first(static_cast<size_t>(frames)));
  return frames;
}

int CWaveOutput::WriteChannel(std::span<const double> source, int channel) {
  const int frames = static_cast<int>(source.size());
  platform::Guard guard(outputLock_);
  WaveHeader& header = headers_[currentHeader_];
  if (stream_ && (header.flags & kHeaderPrepared)) {
    if (!(header.flags & kHeaderDone)) {
      ++droppedBusy_;
      if (blockSound_) ++soundDroppedBusy_;
      return 0;
    }
    if (stream_->Unprepare(header) != kMmNoError) return 0;
  }
  header.flags = 0;
  if (format_.blockAlign == 0 || frames > static_cast<int>(MaxFrames()))
    throw ParamException("vector is greater than expected");
  if (!header.data) return 0;  // never opened: nowhere to write
  const int sampleBytes = format_.blockAlign / format_.channels;
  pcm::WriteChannel(header.data + sampleBytes * channel, format_.blockAlign, format_.bitsPerSample, source);
  return frames;
}

void CWaveOutput::Submit(int frames) {
  if (format_.blockAlign == 0 || frames > static_cast<int>(MaxFrames()))
    throw ParamException("items is greater than expected");
  if (frames <= 0) return;
  platform::Guard guard(outputLock_);
  WaveHeader& header = headers_[currentHeader_];
  if (!stream_ || header.flags != 0) return;
  header.bufferLength = format_.blockAlign * static_cast<uint32_t>(frames);
  if (stream_->Prepare(header) != kMmNoError || stream_->Write(header) != kMmNoError) {
    header.flags |= kHeaderDone;  // recycled by the next WriteChannel
    return;
  }
  currentHeader_ = (currentHeader_ + 1) % kOutputBuffers;
}

QueueDecision CWaveOutput::Regulate(bool blockHoldsSound) {
  if (deviceIndex_ < 0) return {};
  platform::Guard guard(outputLock_);
  if (!stream_ || stream_->PlaysAsWritten()) return {};
  lastBlockSound_ = blockSound_;
  blockSound_ = blockHoldsSound;

  int queued = 0;
  bool stoppedAtFree = false;
  int index = currentHeader_;
  for (int step = 0; step < kOutputBuffers - 1; ++step) {
    index = (index + kOutputBuffers - 1) % kOutputBuffers;
    const uint32_t flags = headers_[index].flags;
    if (flags & kHeaderDone) break;
    if (flags == 0) {
      if (step == 0 && currentHeader_ == 0) {  // the first block of a stream
        if (!stream_->HoldsItsQueue()) QueueSilenceLocked(kStartCushionBuffers);
        return {};
      }
      stoppedAtFree = true;
      break;
    }
    ++queued;
  }
  lastQueued_ = queued;
  if (stream_->HoldsItsQueue()) return RegulateOuterBand(queued);
  return RegulateInBuffers(queued, stoppedAtFree);
}

// The device's own rate correction holds the depth, and a device that ran dry starts again at its target
// depth by itself: nothing is inserted here. Its gaps are counted as inserted silence (that is what a
// listener hears), and input is dropped only for a device that holds far too much (a long stall's backlog).
QueueDecision CWaveOutput::RegulateOuterBand(int queued) {
  const QueueTiming timing = stream_->Timing();
  const uint64_t underruns = timing.underruns;
  if (underruns > underrunsSeen_) {
    const uint64_t gaps = underruns - underrunsSeen_;
    silentInserted_ += gaps;
    if (blockSound_ || lastBlockSound_) silenceInSound_ += gaps;
    underrunsSeen_ = underruns;
  }
  if (dropHold_ > 0) {
    --dropHold_;
    return {};
  }
  if (queued < kOverFullBuffers) return {};
  dropHold_ = kDropHoldBlocks;
  return {queued - OuterDrainLevel(timing.targetMs)};
}

// A backlog is drained down to the device's own target rather than to six buffers: what stayed above the target
// would be left to the rate correction, which takes seconds at an audible fraction of a semitone. One buffer more
// than the target spans: the count includes the one playing now, and the capture may leave the queue a block
// short right after; drained to the bare target, the queue ran dry again a second after a stall.
int CWaveOutput::OuterDrainLevel(double targetMs) const {
  const double blockMs = blockBytes_ && format_.blockAlign && format_.samplesPerSec
                             ? 1000.0 * blockBytes_ / format_.blockAlign / format_.samplesPerSec
                             : 0.0;
  if (!(targetMs > 0) || blockMs <= 0) return kDrainLevel;  // no target given: the band's own level
  // Clamped while still a double: a target of any size stays within the int.
  return static_cast<int>(std::clamp(std::ceil(targetMs / blockMs) + 1, double(kMinDrainLevel), double(kDrainLevel)));
}

QueueDecision CWaveOutput::RegulateInBuffers(int queued, bool stoppedAtFree) {
  const bool payBack = PayBackDue(queued);
  if (queued <= 1 && !stoppedAtFree) {
    if (sincePayBack_ < kPayBackSettleBlocks) keepCushion_ = true;
    InsertSilenceLocked(kTopUpLevel - queued);
    return {};
  }
  if (queued >= kOverFullBuffers) return {queued - kDrainLevel};
  return {payBack ? 1 : 0};
}

// Silence tops a dry queue up; when the late blocks then arrive, the queue stands that much deeper, and
// nothing else would ever bring it back: each glitch would add its 10 ms or more of latency for good. So a
// queue that has stayed above the top-up level for a whole window drops one input block, as long as
// inserted silence is still owed. A device that keeps more queued by itself loses at most what was inserted,
// and one that runs dry again soon after a pay-back keeps its deeper queue.
bool CWaveOutput::PayBackDue(int queued) {
  if (sincePayBack_ < kPayBackSettleBlocks) ++sincePayBack_;
  if (owedSilence_ == 0 || keepCushion_) {
    windowBlocks_ = 0;
    return false;
  }
  windowLow_ = windowBlocks_ == 0 ? queued : std::min(windowLow_, queued);
  if (++windowBlocks_ < kPayBackWindowBlocks) return false;
  windowBlocks_ = 0;
  if (windowLow_ <= kTopUpLevel) return false;
  --owedSilence_;
  sincePayBack_ = 0;
  return true;
}

void CWaveOutput::InsertSilenceLocked(int count) {
  const int inserted = QueueSilenceLocked(count);
  silentInserted_ += static_cast<uint64_t>(inserted);
  // A gap next to sound is heard; one between two silent blocks is not.
  if (blockSound_ || lastBlockSound_) silenceInSound_ += static_cast<uint64_t>(inserted);
  owedSilence_ += inserted;
}

int CWaveOutput::QueueSilenceLocked(int count) {
  if (!stream_) return 0;
  int inserted = 0;
  for (; inserted < count; ++inserted) {
    WaveHeader& header = headers_[currentHeader_];
    const uint32_t flags = header.flags;
    if ((flags & kHeaderPrepared) && !(flags & kHeaderDone)) break;
    if ((flags & kHeaderPrepared) && stream_->Unprepare(header) != kMmNoError) break;
    header.flags = 0;
    std::memset(header.data, pcm::SilenceByte(format_.bitsPerSample), blockBytes_);
    header.bufferLength = blockBytes_;
    if (stream_->Prepare(header) != kMmNoError || stream_->Write(header) != kMmNoError) {
      header.flags |= kHeaderDone;
      break;
    }
    currentHeader_ = (currentHeader_ + 1) % kOutputBuffers;
  }
  return inserted;
}

void CWaveOutput::ReserveBuffers() {
  platform::Guard guard(outputLock_);
  ReserveBuffersLocked();
}

void CWaveOutput::ReserveBuffersLocked() {
  for (std::unique_ptr<uint8_t[]>& buffer : buffers_) {
    if (buffer) continue;
    buffer.reset(new (std::nothrow) uint8_t[16384]);
    if (!buffer) throw MemoryException("Out of memory");
  }
}

void CWaveOutput::ReleaseBuffers() {
  platform::Guard guard(outputLock_);
  for (int i = 0; i < kOutputBuffers; ++i) {
    headers_[i].data = nullptr;
    buffers_[i].reset();
  }
}

OutputStatistics CWaveOutput::Statistics() {
  OutputStatistics statistics;
  platform::Guard guard(outputLock_);
  statistics.queued = lastQueued_;
  statistics.silentBuffersInserted = silentInserted_;
  statistics.blocksDroppedBusy = droppedBusy_;
  statistics.silenceInsertedInSound = silenceInSound_;
  statistics.soundBlocksDropped = soundDroppedBusy_;
  if (stream_ && stream_->HoldsItsQueue()) {
    statistics.holdsItsQueue = true;
    statistics.timing = stream_->Timing();
  }
  platform::Guard ring(input_.Lock());
  const RingStatistics lost = input_.Statistics();
  statistics.blocksSkipped = lost.blocksSkipped;
  statistics.blocksRefused = lost.blocksRefused;
  statistics.soundBlocksDropped += lost.soundBlocksLost;
  return statistics;
}

}  // namespace engine
