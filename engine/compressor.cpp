#include "engine/compressor.h"

#include <algorithm>
#include <cmath>

#include "engine/redesign_when_dirty.h"
#include "engine/stage_pass.h"

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

double CompressorCurveGain::Gain(double envelope) const {
  if (envelope < thresholdAmplitude) return belowGain;
  if (flat) return centerAmplitude / envelope;
  return aboveScale * abovePower(envelope);
}

void CompressorCurveGain::Apply(const double* __restrict envelope, double* __restrict samples, int count) const {
  const double threshold = thresholdAmplitude, scale = aboveScale;
  int i = 0;
  // Pairs above the threshold, the common case of a sloped curve, take the table two at a time.
  for (; i + 1 < count; i += 2) {
    const double e0 = envelope[i], e1 = envelope[i + 1];
    if (!flat && e0 >= threshold && e1 >= threshold && abovePower.Tabulated(e0) && abovePower.Tabulated(e1)) {
      const CPowerTable::Lanes gain = scale * abovePower.Pair(e0, e1);
      samples[i] *= gain[0];
      samples[i + 1] *= gain[1];
      continue;
    }
    // A zero envelope means a silent sample; a negative one (a smoother set close to half the sample rate
    // can ring below zero) has no level, so the sample is left as it is rather than turned into NaN.
    if (e0 > 0.0) samples[i] *= Gain(e0);
    if (e1 > 0.0) samples[i + 1] *= Gain(e1);
  }
  if (i < count && envelope[i] > 0.0) samples[i] *= Gain(envelope[i]);
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

void CCompressor::Redesign(int channel) {
  CompressorChannel& record = settings_.channel[channel];
  RedesignWhenDirty(record.dirty, settings_.lock, [&]() REQUIRES(settings_.lock) {
    const SmootherTimes& times = settings_.times[channel];
    followers_[channel].Design(sampleRate_, times.attack, kMinimumTime, times.release, kMinimumTime);
  });
}

void CCompressor::ApplyCurve(int channel, const double* envelope, double* samples, int count) {
  // T, P and R are read for every chunk (a few milliseconds), so a change acts at once without a
  // redesign; the derived constants are rebuilt only when one of them changed.
  const CompressorChannel& record = settings_.channel[channel];
  CompressorCurveGain& curve = curves_[channel];
  const double t = record.threshold.load(std::memory_order_relaxed);
  const double p = record.center.load(std::memory_order_relaxed);
  const double r = record.rate.load(std::memory_order_relaxed);
  if (!curve.Matches(t, p, r)) curve.Update(t, p, r);
  if (!curve.transparent) curve.Apply(envelope, samples, count);
}

bool CCompressor::Run(CSignalBuffer& buffer, int channel) {
  Redesign(channel);
  return RunEnvelopeStage(followers_[channel], buffer, [&](const double* envelope, double* samples, int count) {
    ApplyCurve(channel, envelope, samples, count);
  });
}

void CCompressor::RunStereo(CSignalBuffer& left, CSignalBuffer& right, bool* finite) {
  Redesign(0);
  Redesign(1);
  RunEnvelopeStageStereo(
      followers_[0], followers_[1], left, right,
      [&](int channel, const double* envelope, double* samples, int count) {
        ApplyCurve(channel, envelope, samples, count);
      },
      finite);
}

}  // namespace engine
