#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine/wave_device.h"
#include "platform/critical_section.h"
#include "platform/event.h"

namespace engine {

class CCaptureRing;
struct InputSlot;

inline constexpr int kOutputBuffers = 48;
// Silent buffers queued ahead of a stream's first block. A stream started on its first block alone runs dry
// before the second arrives, and the silence topping it up then cuts a gap into the sound; queued first, the
// cushion only delays the start, by as much as that top-up delays the rest of the stream anyway. With three,
// a block may come 20 ms late before the queue is down to the one buffer that makes a top-up, where two
// allowed only 10 ms: stalls that long of the audio thread come several times in ten minutes on a busy
// desktop or virtual machine.
// Devices that hold their queue in time themselves start each stream at their own target depth instead.
inline constexpr int kStartCushionBuffers = 3;

// Counters for status lines and diagnostics.
struct OutputStatistics {
  int queued = 0;  // buffers the device held at the last regulation
  // For a dry queue, since the output was constructed (not the start cushion); for a device that holds its
  // queue, each time it ran dry (a gap of its own, which it fills by starting again at its target depth).
  uint64_t silentBuffersInserted = 0;
  uint64_t blocksSkipped = 0;      // input blocks dropped to drain an over-full queue (since Open)
  uint64_t blocksRefused = 0;      // input blocks refused by a full input ring (since Open)
  uint64_t blocksDroppedBusy = 0;  // blocks dropped because the device still held the next buffer
  // What a listener can notice: blocks with sound among those dropped, skipped or refused above, and silent
  // buffers inserted next to a block with sound. Silence dropped or inserted while nothing plays is not.
  uint64_t soundBlocksDropped = 0;
  uint64_t silenceInsertedInSound = 0;
  bool holdsItsQueue = false;  // the device holds its queue in time; `timing` says how
  QueueTiming timing;
};

// The output regulation's word to the capture side for the input blocks to come.
struct QueueDecision {
  // 0: drop nothing (cancels drops still pending); above 0: drop that many, unless drops are still pending.
  int dropInput = 0;
};

// Plays the processed sound on an output device through a queue of 48 fixed buffers, converts between
// PCM and doubles, and keeps the queue 2 to 7 buffers deep: silence is inserted when the device runs
// dry, and the capture side is told to drop input when too much is queued. Silence inserted for a late
// block is paid back once the stream has caught up (see Regulate), so a glitch does not add latency for good.
// A device that holds its queue at a target in time by itself (IWaveOutStream::HoldsItsQueue) gets only the
// outer safety net: beyond seven buffers input is dropped down to the buffers that target spans and one more
// (then not again for a second), nothing is inserted; the times it ran dry are counted as inserted silence.
class CWaveOutput {
 public:
  // `input` is the ring the blocks come from: its lock keeps the format consistent with the blocks it holds.
  CWaveOutput(IWaveOutSystem& devices, CCaptureRing& input);
  virtual ~CWaveOutput();
  CWaveOutput(const CWaveOutput&) = delete;
  CWaveOutput& operator=(const CWaveOutput&) = delete;

  // Device helpers.
  void SelectDevice(int index);
  int SelectedDevice() const { return deviceIndex_; }
  std::string GetDeviceName(int index);
  void MuteDevice();
  void RestoreDeviceVolume();
  void SetMixerVolume(unsigned percent);
  static std::string ErrorText(MmResult code);

  // Stream operations.
  void SetFormat(int bits, int rate, int channels);
  void Open(uint32_t blockBytes);
  void Close();
  // Reads one channel of a ring slot (the one at the read index, under the ring lock) into the start of
  // `destination`; returns the frames read.
  int ReadChannel(const InputSlot& slot, std::span<double> destination, int channel);
  // Writes `source` as one channel of the current buffer; 0 when the device still holds that buffer.
  int WriteChannel(std::span<const double> source, int channel);
  void Submit(int frames);
  // Called once per block before it is written; `blockHoldsSound` says whether the block is more than
  // digital silence, so inserted silence is counted where a listener can hear it.
  QueueDecision Regulate(bool blockHoldsSound = true);
  // Allocates the queue's buffers now rather than at the first Open, which may run on the audio thread.
  void ReserveBuffers();
  void ReleaseBuffers();

  platform::Event& BlockReady() { return blockReady_; }
  // Reads and clears the flag that SetFormat sets.
  bool TakeFormatChanged() { return formatChanged_.exchange(0) != 0; }
  // Under the ring lock (or the output lock) the format is consistent with the ring's contents.
  const WaveFormat& Format() const { return format_; }
  bool IsOpen();
  OutputStatistics Statistics();

 private:
  // Throws when no device is selected by name and the selected number is out of range.
  void CheckDeviceIndex(bool named);
  bool DeviceNamed() EXCLUDES(outputLock_);
  uint32_t MaxFrames() const { return 16384u / format_.blockAlign; }
  void InsertSilenceLocked(int count) REQUIRES(outputLock_);
  int QueueSilenceLocked(int count) REQUIRES(outputLock_);  // returns how many buffers it queued
  bool PayBackDue(int queued) REQUIRES(outputLock_);
  QueueDecision RegulateInBuffers(int queued, bool stoppedAtFree) REQUIRES(outputLock_);
  QueueDecision RegulateOuterBand(int queued) REQUIRES(outputLock_);
  int OuterDrainLevel(double targetMs) const REQUIRES(outputLock_);
  void UnprepareAllLocked(IWaveOutStream* stream) REQUIRES(outputLock_);
  void ReserveBuffersLocked() REQUIRES(outputLock_);

  IWaveOutSystem& devices_;
  CCaptureRing& input_;
  platform::CriticalSection outputLock_;
  std::array<WaveHeader, kOutputBuffers> headers_ GUARDED_BY(outputLock_);
  std::array<std::unique_ptr<uint8_t[]>, kOutputBuffers> buffers_;
  uint32_t blockBytes_ = 0;
  WaveFormat format_{};
  platform::Event blockReady_{platform::Event::Mode::AutoReset};
  std::unique_ptr<IWaveOutStream> stream_ GUARDED_BY(outputLock_);
  int currentHeader_ GUARDED_BY(outputLock_) = 0;
  std::atomic<int> formatChanged_{0};
  std::atomic<int> deviceIndex_{-2};
  std::string deviceName_ GUARDED_BY(outputLock_);  // of the selected device, found again by name at every Open
  int lastQueued_ GUARDED_BY(outputLock_) = 0;
  uint64_t silentInserted_ GUARDED_BY(outputLock_) = 0;
  uint64_t droppedBusy_ GUARDED_BY(outputLock_) = 0;
  uint64_t soundDroppedBusy_ GUARDED_BY(outputLock_) = 0;
  uint64_t silenceInSound_ GUARDED_BY(outputLock_) = 0;
  bool blockSound_ GUARDED_BY(outputLock_) = false;      // the block being written holds sound
  bool lastBlockSound_ GUARDED_BY(outputLock_) = false;  // and the one before it did
  // Silent buffers inserted since Open that no dropped input block has paid back yet, and the lowest queue
  // depth seen in the current window of blocks.
  int owedSilence_ GUARDED_BY(outputLock_) = 0;
  int windowLow_ GUARDED_BY(outputLock_) = 0;
  int windowBlocks_ GUARDED_BY(outputLock_) = 0;
  int sincePayBack_ GUARDED_BY(outputLock_) = 0;  // blocks since the last pay-back, counted up to the settle time
  bool keepCushion_ GUARDED_BY(outputLock_) = false;
  // A device that holds its queue: the times it ran dry that are counted already, and the blocks left before
  // the outer band may drop input again.
  uint64_t underrunsSeen_ GUARDED_BY(outputLock_) = 0;
  int dropHold_ GUARDED_BY(outputLock_) = 0;
};

}  // namespace engine
