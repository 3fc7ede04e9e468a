#include "engine/channel_chain.h"

namespace engine {

CChannelChain::CChannelChain(ProcessingParameters& parameters)
    : equalizer_(parameters.equalizer),
      compressor_(parameters.compressor),
      volume_(parameters.volume),
      limiter_(parameters),
      bypass_(parameters.bypass),
      analysis_(parameters.monitor) {}

void CChannelChain::FollowSampleRate(int sampleRate) {
  sampleRate_ = sampleRate;
  equalizer_.FollowSampleRate(sampleRate);
  compressor_.FollowSampleRate(sampleRate);
  limiter_.FollowSampleRate(sampleRate);
}

void CChannelChain::Reset() {
  equalizer_.Reset();
  compressor_.Reset();
  limiter_.Reset();
}

void CChannelChain::Run(CSignalBuffer* buffers, int channels) {
  if (channels == 2)
    RunStereo(buffers[0], buffers[1]);
  else
    for (int ch = 0; ch < channels && ch < kChannels; ++ch) RunChannel(buffers[ch], ch, channels);
}

void CChannelChain::RunChannel(CSignalBuffer& buffer, int channel, int channels) {
  // State exists for left and right only; any further channel passes through untouched rather than
  // reach past the stages' per-channel state.
  if (channel < 0 || channel >= kChannels) return;
  bypass_.Keep(buffer, channel);
  Finish(buffer, channel, channels, equalizer_.Run(buffer, channel));
}

void CChannelChain::RunStereo(CSignalBuffer& left, CSignalBuffer& right) {
  bypass_.Keep(left, 0);
  bypass_.Keep(right, 1);
  const bool finite = equalizer_.RunStereo(left, right);
  Finish(left, 0, 2, finite);
  Finish(right, 1, 2, finite);
}

void CChannelChain::Finish(CSignalBuffer& buffer, int channel, int channels, bool finite) {
  finite &= compressor_.Run(buffer, channel);
  buffer.Scale(volume_.EffectiveGain(channel));
  finite &= limiter_.Run(buffer, channel);
  // The monitor reads what plays: the untouched sound while bypassed.
  bypass_.Mix(buffer, channel, sampleRate_);
  if (!finite) buffer.ZeroNonFinite();
  analysis_.Analyse(buffer, channel, channels, sampleRate_);
}

}  // namespace engine
