#pragma once
#include <array>

#include "engine/envelope_follower.h"
#include "engine/power_table.h"
#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"

namespace engine {

// The curve's gain 10^out / envelope, rearranged so that no region needs a logarithm:
//   below T: 10^(L + (T - P)/R + P - T) / 10^L = 10^((T - P)/R + P - T), a constant;
//   above T: 10^(P + (L - P)/R) / 10^L         = 10^(P (1 - 1/R)) * envelope^(1/R - 1);
//   flat:    10^P / envelope.
// The regions are told apart by comparing the envelope with 10^T instead of log10(envelope) with T.
struct CompressorCurveGain {
  double threshold = 0.0, center = 0.0, ratio = 0.0;  // the values the constants were made from
  // A ratio of 0 (the block before it was ever written) or below leaves the curve undefined: such a curve
  // passes the signal unchanged rather than emit infinities.
  bool transparent = true;
  bool flat = false;
  double thresholdAmplitude = 0.0;
  double belowGain = 1.0;
  double aboveScale = 1.0;
  CPowerTable abovePower;  // envelope^(1/R - 1), retabulated only when R changes
  bool preparedOnce = false;
  double centerAmplitude = 1.0;

  void Update(double t, double p, double r);
  bool Matches(double t, double p, double r) const { return t == threshold && p == center && r == ratio; }
  // 10^out / envelope for an envelope above zero.
  double Gain(double envelope) const;
  // samples[i] *= Gain(envelope[i]), for every envelope above zero.
  void Apply(const double* __restrict envelope, double* __restrict samples, int count) const;
};

// Follows each channel's envelope and multiplies every sample by the gain that brings the envelope onto
// a static curve: slope 1 below the threshold T, ratio R about the centre P above it (all levels in log10
// of amplitude, 0 = full scale), flat at P from R = 30 on.
class CCompressor {
 public:
  static constexpr double kMinimumTime = 0.00001;  // s
  static constexpr double kFlatRatio = 30.0;

  explicit CCompressor(CompressorSettings& settings);
  virtual ~CCompressor() = default;

  void FollowSampleRate(int sampleRate);
  // Envelopes back to 0 and smoothers to silence.
  void Reset();
  // False when the channel's state had become non-finite (a non-finite input) and was reset.
  bool Run(CSignalBuffer& buffer, int channel);
  // Run on channel 0 over `left` and channel 1 over `right` (the same length), with exactly the same results,
  // the two channels side by side. Clears finite[channel] when that channel's state was reset.
  void RunStereo(CSignalBuffer& left, CSignalBuffer& right, bool* finite);

  // Output level of the curve for envelope level `level` (all log10 of amplitude).
  static double OutputLevel(double level, double threshold, double center, double ratio);

  int SampleRate() const { return sampleRate_; }
  double Envelope(int channel) const { return followers_[channel].envelope; }
  const EnvelopeFollower& Follower(int channel) const { return followers_[channel]; }

 private:
  using CurveGain = CompressorCurveGain;
  // Picks up changed attack and release times (when the lock is free).
  void Redesign(int channel);
  // Scales a chunk's samples by the curve's gain for their envelope.
  void ApplyCurve(int channel, const double* envelope, double* samples, int count);
  CompressorSettings& settings_;
  std::array<EnvelopeFollower, kChannels> followers_;
  std::array<CurveGain, kChannels> curves_;
  int sampleRate_ = 0;
};

}  // namespace engine
