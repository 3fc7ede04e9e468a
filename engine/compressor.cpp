#include "engine/compressor.h"

#include <algorithm>
#include <cmath>

#include "engine/redesign_when_dirty.h"

namespace engine {

void CompressorCurveGain::Update(double t, double p, double r) {
  threshold = t;
  center = p;
  ratio = r;
  transparent = !(r > 0.0);
  if (transparent) return;
  flat = r >= CCompressor::kFlatRatio;
  thresholdAmplitude = std::pow(10.0, t);
  belowGain = std::pow(10.0, (t - p) / r + p - t);
  aboveScale = std::pow(10.0, p * (1.0 - 1.0 / r));
  const double exponent = 1.0 / r - 1.0;
  if (exponent != abovePower.Exponent() || !preparedOnce) abovePower.Prepare(exponent);
  preparedOnce = true;
  centerAmplitude = std::pow(10.0, p);
}

CCompressor::CCompressor(CompressorSettings& settings) : settings_(settings) {}

void CCompressor::FollowSampleRate(int sampleRate) {
  if (sampleRate_ == sampleRate) return;
  sampleRate_ = sampleRate;
  for (CompressorChannel& channel : settings_.channel) channel.dirty = 1;
}

void CCompressor::Reset() {
  for (EnvelopeFollower& follower : followers_) follower.Reset();
}

double CCompressor::OutputLevel(double level, double threshold, double center, double ratio) {
  if (level < threshold) return level + (threshold - center) / ratio + center - threshold;
  if (ratio < kFlatRatio) return center + (level - center) / ratio;
  return center;
}

bool CCompressor::Run(CSignalBuffer& buffer, int channel) {
  CompressorChannel& record = settings_.channel[channel];
  EnvelopeFollower& follower = followers_[channel];
  RedesignWhenDirty(record.dirty, settings_.lock, [&] {
    follower.Design(sampleRate_, record.attack, kMinimumTime, record.release, kMinimumTime);
  });
  CompressorCurveGain& curve = curves_[channel];
  EnvelopeCursor cursor(follower);
  double* samples = buffer.Data();
  const int count = buffer.Count();
  for (int start = 0; start < count; start += kEnvelopeChunk) {
    double* x = samples + start;
    const int n = std::min(kEnvelopeChunk, count - start);
    for (int i = 0; i < n; ++i) envelope_[i] = cursor.Next(std::fabs(x[i]));
    for (int i = 0; i < n; ++i) {
      // T, P and R act from the very next sample; the derived constants are rebuilt only when one changes.
      const double t = record.threshold.load(std::memory_order_relaxed);
      const double p = record.center.load(std::memory_order_relaxed);
      const double r = record.rate.load(std::memory_order_relaxed);
      if (!curve.Matches(t, p, r)) curve.Update(t, p, r);
      // A zero envelope means a silent sample; a negative one (a smoother set close to half the sample rate
      // can ring below zero) has no level, so the sample is left as it is rather than turned into NaN.
      const double envelope = envelope_[i];
      if (curve.transparent || !(envelope > 0.0)) continue;
      x[i] *= curve.Gain(envelope);
    }
  }
  return cursor.Store();
}

}  // namespace engine
