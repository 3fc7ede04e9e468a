#include "engine/limiter.h"

#include <cmath>

namespace engine {

CLimiter::CLimiter(ProcessingParameters& parameters)
    : settings_(parameters.limiter), amplificator_(parameters.amplificator) {}

void CLimiter::FollowSampleRate(int sampleRate) {
  if (sampleRate_ == sampleRate) return;
  sampleRate_ = sampleRate;
  for (LimiterChannel& channel : settings_.channel) channel.dirty = 1;
}

void CLimiter::Reset() {
  for (EnvelopeFollower& follower : followers_) follower.Reset();
}

CLimiter::Pass CLimiter::Begin(int channel) {
  LimiterChannel& record = settings_.channel[channel];
  // The full scale moves with the amplifier switch, so a toggle takes effect without any panel action.
  const int amplificator = amplificator_.load();
  if (amplificator != record.amplificatorSeen) {
    record.amplificatorSeen = amplificator;
    record.dirty = 1;
  }
  if (record.dirty && settings_.lock.TryEnter()) {
    EnvelopeFollower& follower = followers_[channel];
    follower.attack.DesignLowPass(sampleRate_, EnvelopeFollower::CutoffFor(record.attack, kMinimumAttack), 0.5);
    follower.release.DesignLowPass(sampleRate_, EnvelopeFollower::CutoffFor(record.release, kMinimumRelease), 0.5);
    const double fullScale = amplificator ? kAmplifiedFullScaleDbSpl : kFullScaleDbSpl;
    record.limit = std::pow(10.0, (record.level - fullScale) * 0.05);
    record.dirty = 0;
    settings_.lock.Leave();
  }

  return Pass(followers_[channel], record.limit);
}

void CLimiter::Run(CSignalBuffer& buffer, int channel) {
  Pass pass = Begin(channel);
  double* samples = buffer.Data();
  const int count = buffer.Count();
  for (int i = 0; i < count; ++i) samples[i] = pass(samples[i]);
  pass.End();
}

}  // namespace engine
