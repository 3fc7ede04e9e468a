#pragma once
#include <array>
#include <cmath>

#include "engine/envelope_follower.h"
#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"

namespace engine {

// Caps what reaches the sound card: whenever a channel's envelope exceeds its limit, the sample is scaled
// by limit / envelope. The limit is in dB SPL against 96 (or 116 with an external amplifier) full scale.
class CLimiter {
 public:
  static constexpr double kMinimumAttack = 0.00001;  // s
  static constexpr double kMinimumRelease = 0.001;   // s

  explicit CLimiter(ProcessingParameters& parameters);
  virtual ~CLimiter() = default;

  void FollowSampleRate(int sampleRate);
  void Reset();
  // False when the channel's state had become non-finite (a non-finite input) and was reset.
  bool Run(CSignalBuffer& buffer, int channel);
  // Run on channel 0 over `left` and channel 1 over `right` (the same length), with exactly the same results,
  // the two channels side by side. Clears finite[channel] when that channel's state was reset.
  void RunStereo(CSignalBuffer& left, CSignalBuffer& right, bool* finite);

  // One channel's pass over one block, a sample at a time; Run is exactly that.
  class Pass {
   public:
    Pass(EnvelopeFollower& follower, double limit) : cursor_(follower), limit_(limit) {}
    double operator()(double x) {
      const double envelope = cursor_.Next(std::fabs(x));
      return envelope > limit_ ? x * (limit_ / envelope) : x;
    }
    bool End() { return cursor_.Store(); }

   private:
    EnvelopeCursor cursor_;
    const double limit_;
  };
  // Follows `amplificator` and redesigns if needed, then starts the pass.
  Pass Begin(int channel);

  int SampleRate() const { return sampleRate_; }
  double Envelope(int channel) const { return followers_[channel].envelope; }
  const EnvelopeFollower& Follower(int channel) const { return followers_[channel]; }

 private:
  LimiterSettings& settings_;
  std::atomic<int>& amplificator_;
  std::array<EnvelopeFollower, kChannels> followers_;
  int sampleRate_ = 0;
};

}  // namespace engine
