#include "engine/limiter.h"

#include <cmath>

#include "engine/redesign_when_dirty.h"
#include "engine/stage_pass.h"

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
  EnvelopeFollower& follower = followers_[channel];
  RedesignWhenDirty(record.dirty, settings_.lock, [&]() REQUIRES(settings_.lock) {
    const LimiterValues& values = settings_.values[channel];
    follower.Design(sampleRate_, values.attack, kMinimumAttack, values.release, kMinimumRelease);
    const double fullScale = amplificator ? kAmplifiedFullScaleDbSpl : kFullScaleDbSpl;
    record.limit = std::pow(10.0, (values.level - fullScale) * 0.05);
  });
  return Pass(follower, record.limit);
}

bool CLimiter::Run(CSignalBuffer& buffer, int channel) { return RunPass(Begin(channel), buffer); }

void CLimiter::RunStereo(CSignalBuffer& left, CSignalBuffer& right, bool* finite) {
  RunPassStereo(Begin(0), Begin(1), left, right, finite);
}

}  // namespace engine
