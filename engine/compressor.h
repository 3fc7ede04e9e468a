#pragma once
#include <array>

#include "engine/envelope_follower.h"
#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"

namespace engine {

// Follows each channel's envelope and multiplies every sample by the gain that brings the envelope onto
// a static curve: slope 1 below the threshold T, ratio R about the centre P above it (all levels in log10
// of amplitude, 0 = full scale), flat at P from R = 30 on.
class CCompressor {
 public:
  static constexpr double kMinimumTime = 0.00001;  // s
  static constexpr double kFlatRatio = 30.0;

  explicit CCompressor(CompressorSettings& settings = Parameters().compressor);
  virtual ~CCompressor() = default;

  void FollowSampleRate(int sampleRate);
  // Envelopes back to 0 and smoothers to silence.
  void Reset();
  void Run(CSignalBuffer& buffer, int channel);

  // Output level of the curve for envelope level `level` (all log10 of amplitude).
  static double OutputLevel(double level, double threshold, double center, double ratio);

  int SampleRate() const { return sampleRate_; }
  double Envelope(int channel) const { return followers_[channel].envelope; }
  const EnvelopeFollower& Follower(int channel) const { return followers_[channel]; }

 private:
  void Redesign(int channel);

  CompressorSettings& settings_;
  std::array<EnvelopeFollower, kChannels> followers_;
  int sampleRate_ = 0;
};

}  // namespace engine
