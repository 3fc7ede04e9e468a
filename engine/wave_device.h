#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace engine {

// Result codes of the output devices.
using MmResult = uint32_t;
inline constexpr MmResult kMmNoError = 0;
inline constexpr MmResult kMmBadDeviceId = 2;
inline constexpr MmResult kMmAllocated = 4;
inline constexpr MmResult kMmInvalidHandle = 5;
inline constexpr MmResult kMmNoDriver = 6;
inline constexpr MmResult kMmNoMemory = 7;
inline constexpr MmResult kWaveBadFormat = 32;
inline constexpr MmResult kWaveStillPlaying = 33;
inline constexpr MmResult kWaveUnprepared = 34;

inline constexpr uint32_t kHeaderDone = 1;
inline constexpr uint32_t kHeaderPrepared = 2;
inline constexpr uint32_t kHeaderInQueue = 0x10;

inline constexpr uint16_t kWaveFormatPcm = 1;

struct WaveFormat {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;
};

// One output buffer. The device sets kHeaderDone from its own thread when it has played the buffer,
// so the flags are atomic; everything else belongs to whoever holds the buffer.
struct WaveHeader {
  uint8_t* data = nullptr;
  uint32_t bufferLength = 0;
  uint32_t bytesRecorded = 0;
  uintptr_t user = 0;
  std::atomic<uint32_t> flags{0};
  uint32_t loops = 0;
};

// How a stream that holds its own queue (see IWaveOutStream::HoldsItsQueue) stands, for status lines.
struct QueueTiming {
  double depthMs = 0;         // written and not yet played, as last measured
  double targetMs = 0;        // where its rate correction holds it
  double rateCorrection = 0;  // the playback rate's factor minus one (0.001 = 0.1 % faster)
  uint64_t underruns = 0;     // times it ran dry while playing, since it was opened: each one a gap
};

// An open output device. Completion is observed by polling kHeaderDone; there are no callbacks.
class IWaveOutStream {
 public:
  virtual ~IWaveOutStream() = default;
  // True for a stream that holds its queue at a target depth in time by itself, with small changes of its
  // playback rate, and starts each stream (and starts again after running dry) at that depth: the engine then
  // never inserts silence and drops input only when far too much is queued. Others are regulated in whole
  // buffers.
  virtual bool HoldsItsQueue() const { return false; }
  // Its measured depth, target and rate correction; any thread, never waits.
  virtual QueueTiming Timing() const { return {}; }
  virtual MmResult Prepare(WaveHeader& header) = 0;    // sets kHeaderPrepared, clears kHeaderDone
  virtual MmResult Unprepare(WaveHeader& header) = 0;  // kWaveStillPlaying while queued
  virtual MmResult Write(WaveHeader& header) = 0;      // queues bufferLength bytes; kWaveUnprepared if not prepared
  virtual MmResult Reset() = 0;                        // stops playing, marks every queued buffer done
  virtual MmResult Close() = 0;                        // kWaveStillPlaying while buffers are queued
  virtual MmResult SetVolume(uint32_t volume) = 0;     // low word left, high word right, 0xFFFF = full
  // A stream that plays each buffer in the cycle it was written in and marks it done at once holds no queue:
  // there is nothing to top up or drain.
  virtual bool PlaysAsWritten() const { return false; }
};

// The output devices of the machine, numbered from 0.
class IWaveOutSystem {
 public:
  virtual ~IWaveOutSystem() = default;
  virtual unsigned DeviceCount() = 0;
  // kMmBadDeviceId for an index out of range.
  virtual MmResult DeviceName(unsigned index, std::string* name) = 0;
  virtual MmResult Open(unsigned index, const WaveFormat& format, std::unique_ptr<IWaveOutStream>* stream) = 0;
  // Opens the device by its name, wherever it is in the list now (numbers change as devices come and go).
  // A system that follows its devices may open a stream that plays elsewhere while the named one is away.
  virtual MmResult OpenNamed(const std::string& name, const WaveFormat& format,
                             std::unique_ptr<IWaveOutStream>* stream) {
    for (unsigned i = 0, count = DeviceCount(); i < count; ++i) {
      std::string candidate;
      if (DeviceName(i, &candidate) == kMmNoError && candidate == name) return Open(i, format, stream);
    }
    return kMmBadDeviceId;
  }
  // A device chosen while streams are open: a system that can move its open streams plays them on the device
  // named `name` from now on; by default they stay where they are until the next Open.
  virtual void MoveOpenStreams(const std::string& name) { (void)name; }
  // The device's master volume in percent of its range; false when it has none.
  virtual bool SetMixerVolume(unsigned index, unsigned percent) = 0;
  // The name of the device the output plays on now (a system that follows its devices may play elsewhere
  // than the device opened); empty while it plays nowhere or knows no more than what was opened.
  virtual std::string PlayingDevice() { return {}; }
};

}  // namespace engine
