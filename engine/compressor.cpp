#include "engine/compressor.h"

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

CCompressor::Pass CCompressor::Begin(int channel) {
  CompressorChannel& record = settings_.channel[channel];
  EnvelopeFollower& follower = followers_[channel];
  RedesignWhenDirty(record.dirty, settings_.lock, [&] {
    follower.Design(sampleRate_, record.attack, kMinimumTime, record.release, kMinimumTime);
  });
  return Pass(follower, curves_[channel], record);
}

bool CCompressor::Run(CSignalBuffer& buffer, int channel) { return RunPass(Begin(channel), buffer); }

}  // namespace engine
