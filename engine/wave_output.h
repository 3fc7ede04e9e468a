#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/wave_device.h"
#include "platform/critical_section.h"
#include "platform/event.h"

namespace engine {

class CUserMode;
struct InputSlot;

inline constexpr int kOutputBuffers = 48;
// Silent buffers queued ahead of a stream's first block. A stream started on its first block alone runs dry
// before the second arrives, and the silence topping it up then cuts a gap into the sound; queued first, the
// cushion only delays the start, by as much as that top-up delays the rest of the stream anyway. With three,
// a block may come 20 ms late before the queue is down to the one buffer that makes a top-up, where two
// allowed only 10 ms: stalls that long of the audio thread come several times in ten minutes on a busy
// desktop or virtual machine.
inline constexpr int kStartCushionBuffers = 3;

// Counters for status lines and diagnostics.
struct OutputStatistics {
  int queued = 0;                      // buffers the device held at the last regulation
  uint64_t silentBuffersInserted = 0;  // for a dry queue, since the output was constructed (not the start cushion)
  uint64_t blocksSkipped = 0;          // input blocks dropped to drain an over-full queue (since Open)
  uint64_t blocksRefused = 0;          // input blocks refused by a full input ring (since Open)
  uint64_t blocksDroppedBusy = 0;      // blocks dropped because the device still held the next buffer
};

// Plays the processed sound on an output device through a queue of 48 fixed buffers, converts between
// PCM and doubles, and keeps the queue 2 to 7 buffers deep: silence is inserted when the device runs
// dry, and the driver link is asked to drop input when too much is queued. Silence inserted for a late
// block is paid back once the stream has caught up (see Regulate), so a glitch does not add latency for good.
class CWaveOutput {
 public:
  CWaveOutput(IWaveOutSystem& devices, CUserMode& input);
  virtual ~CWaveOutput();
  CWaveOutput(const CWaveOutput&) = delete;
  CWaveOutput& operator=(const CWaveOutput&) = delete;

  // Device helpers.
  void SelectDevice(int index);
  int SelectedDevice() const { return deviceIndex_; }
  void GetDeviceName(int index, char* buffer, int size);
  std::string GetDeviceName(int index);
  void MuteDevice();
  void RestoreDeviceVolume();
  void SetMixerVolume(unsigned percent);
  static std::string ErrorText(MmResult code);

  // Stream operations.
  void SetFormat(int bits, int rate, int channels);
  void Open(uint32_t blockBytes);
  void Close();
  // Reads one channel of a ring slot (the one at the read index, under the ring lock).
  int ReadChannel(const InputSlot& slot, double* destination, int capacity, int channel);
  // 0 when the device still holds the current buffer.
  int WriteChannel(const double* source, int frames, int channel);
  void Submit(int frames);
  void Regulate();
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
  void UnprepareAllLocked(IWaveOutStream* stream) REQUIRES(outputLock_);
  void ReserveBuffersLocked() REQUIRES(outputLock_);

  IWaveOutSystem& devices_;
  CUserMode& input_;
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
  // Silent buffers inserted since Open that no dropped input block has paid back yet, and the lowest queue
  // depth seen in the current window of blocks.
  int owedSilence_ GUARDED_BY(outputLock_) = 0;
  int windowLow_ GUARDED_BY(outputLock_) = 0;
  int windowBlocks_ GUARDED_BY(outputLock_) = 0;
  int sincePayBack_ GUARDED_BY(outputLock_) = 0;  // blocks since the last pay-back, counted up to the settle time
  bool keepCushion_ GUARDED_BY(outputLock_) = false;
};

}  // namespace engine
