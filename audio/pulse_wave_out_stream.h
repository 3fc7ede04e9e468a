#pragma once
#include <pulse/pulseaudio.h>

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "audio/output_device_rule.h"
#include "engine/queue_rate_control.h"
#include "engine/rate_converter.h"
#include "engine/wave_device.h"
#include "platform/pulse_connection.h"

namespace audio {

class PulseWaveOutSystem;

// The program's output: a playback stream in exactly the format asked for, on the sink the output rule picks (see
// PulseWaveOutSystem), opened so that the server never moves it. Written buffers go to the server at once; a buffer is
// marked done when the server's clock says it has been played, checked at every write and whenever the server asks for
// data, and at least every 20 ms. When the stream moves to another sink, what was queued on the old one is marked done
// (lost); while there is no sink, writes are refused, so the engine never waits for a device that does not exist.
// It holds its queue (written and not yet played) at a target in time: measured at every write, steered by its playback
// rate (in small steps, see engine::QueueRateControl), which it makes itself by resampling every block at that rate
// (engine::RateConverter, flat to 20 kHz, a constant delay of 16 frames): the server plays the stream at its nominal
// rate, with no resampler of its own in the way. The server starts playing a stream, and starts it again after it ran
// dry, only once that depth is queued (its pre-buffering), so no silence is ever inserted for it; the times it ran dry
// are counted (Timing).
class PulseWaveOutStream : public engine::IWaveOutStream {
 public:
  PulseWaveOutStream(PulseWaveOutSystem& system, const std::string& description, const pa_sample_spec& sampleFormat,
                     uint32_t blockBytes);
  ~PulseWaveOutStream() override;

  engine::MmResult Prepare(engine::WaveHeader& header) override;
  engine::MmResult Unprepare(engine::WaveHeader& header) override;
  engine::MmResult Write(engine::WaveHeader& header) override;
  engine::MmResult Reset() override;
  engine::MmResult Close() override;
  engine::MmResult SetVolume(uint32_t volume) override;
  bool HoldsItsQueue() const override { return true; }
  engine::QueueTiming Timing() const override;

 private:
  friend class PulseWaveOutSystem;
  struct Queued {
    engine::WaveHeader* header;
    uint64_t end;  // stream byte position at which the header has been played; 0 = not yet sent
  };
  static constexpr size_t kQueueCapacity = 64;

  // Loop lock held.
  // `moved`: the user chose another device while this one is still there; what has not been played yet is
  // sent again on the new sink instead of being lost, so the sound goes on without a gap.
  void Follow(const std::vector<OutputCandidate>& sinks, bool moved = false);
  void TryConnect();  // to sinkName_; on failure the same sink is tried again after a pause
  bool Connect(const std::string& sinkName);
  void OnState();
  void OnTimer();
  void ArmTimer(pa_usec_t delay);
  void OnRequest();
  void CheckPlayed();
  // Stream bytes played so far, from the server's last timing report and the time since; false without one.
  bool PlayedBytes(uint64_t* position);
  // Measures the queue after a write and moves the playback rate toward what holds it at its target.
  void SteerRate();
  // Resamples the header's block to converted_ at the rate the control asks for; returns its length in bytes.
  size_t Converted(const engine::WaveHeader& header);
  // Remembers when the engine wrote, and the longest gap between its writes lately.
  void NoteWriteTime(pa_usec_t now);
  // The longest the writes stopped lately (within a second), up to now.
  pa_usec_t RecentWriteGap(pa_usec_t now) const;
  // Tells the rate control how low the queue came (measured before a write), once the stream plays.
  void NoteDepthBeforeWrite();
  double BytesToUs(double bytes) const;  // stream bytes as time at the nominal rate
  void OnUnderflow();
  uint32_t TargetBytes() const;  // the target depth, in whole frames
  // Publishes the target, and has the server start playing (at a start or after running dry) at it.
  void FollowTarget();
  void RequestTiming();  // a timing report, unless one is on its way
  void DropBacklog();
  void SendUnsent();
  // Marks done, in order, the sent buffers that end at or before `position` (and the unsent ones too).
  void FinishUpTo(uint64_t position, bool unsentToo = false);
  void FinishSent();
  void FinishAll();
  void UnsendUnplayed();      // what the old sink has not played yet is to be sent again
  pa_cvolume Volume() const;  // the wave volume times the mixer volume
  void ApplyVolume();
  void Disconnect();

  PulseWaveOutSystem& system_;
  platform::PulseConnection& connection_;
  std::string description_;  // the device it is for
  const pa_sample_spec sampleFormat_;
  const uint32_t blockBytes_;
  std::string sinkName_;   // where the stream plays (or is to play); empty = nowhere
  std::string announced_;  // the sink last reported on stderr
  bool wanted_ = false;    // written to since the last reset: it should be connected
  pa_stream* stream_ = nullptr;
  pa_time_event* timer_ = nullptr;
  bool ready_ = false;
  bool closed_ = false;
  pa_usec_t retryAt_ = 0;  // after a failure, the same sink is tried again from then on
  std::array<Queued, kQueueCapacity> queue_{};
  size_t head_ = 0;
  size_t count_ = 0;
  uint64_t sent_ = 0;
  uint32_t volume_ = 0xFFFFFFFF;
  pa_operation* timingUpdate_ = nullptr;
  uint64_t lastPosition_ = 0;
  pa_usec_t lastMove_ = 0;
  pa_usec_t lastUpdate_ = 0;
  // Rate correction, loop lock held.
  engine::QueueRateControl rateControl_;
  uint32_t prebuf_ = 0;              // the start depth the server was last given
  double rate_ = 1.0;                // the rate the control asks for
  engine::RateConverter converter_;  // which makes it
  std::vector<uint8_t> converted_;   // a block as written; made once
  pa_usec_t lastMeasure_ = 0;
  pa_usec_t lastWrite_ = 0;     // when the engine last wrote (0: not since the stream started)
  pa_usec_t longestGap_ = 0;    // the longest gap between two writes lately,
  pa_usec_t longestGapAt_ = 0;  // which ended then
  // For status lines on any thread.
  std::atomic<double> depthUs_{0};
  std::atomic<double> targetUs_{0};
  std::atomic<double> correction_{0};
  std::atomic<uint64_t> underruns_{0};
  static_assert(std::atomic<double>::is_always_lock_free);
};

}  // namespace audio
