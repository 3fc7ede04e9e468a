#include "engine/channel_chain.h"

namespace engine {

CChannelChain::CChannelChain(ProcessingParameters& parameters)
    : parameters_(parameters),
      equalizer_(parameters.equalizer),
      compressor_(parameters.compressor),
      volume_(parameters.volume),
      limiter_(parameters),
      analysis_(parameters.monitor) {}

void CChannelChain::FollowSampleRate(int sampleRate) {
  sampleRate_ = sampleRate;
  equalizer_.FollowSampleRate(sampleRate);
  compressor_.FollowSampleRate(sampleRate);
  limiter_.FollowSampleRate(sampleRate);
}

void CChannelChain::ResetState() {
  equalizer_.Unprime();
  compressor_.Reset();
  limiter_.Reset();
}

void CChannelChain::Process(CSignalBuffer& buffer, int channel, int channels) {
  // State exists for left and right only; any further channel passes through untouched rather than
  // reach past the stages' per-channel state.
  if (channel < 0 || channel >= kChannels) return;
  equalizer_.Run(buffer, channel);
  compressor_.Run(buffer, channel);
  buffer.Scale(volume_.EffectiveGain(channel));
  limiter_.Run(buffer, channel);
  analysis_.Analyse(buffer, channel, channels, sampleRate_);
}

void CChannelChain::ProcessStereo(CSignalBuffer& left, CSignalBuffer& right) {
  equalizer_.RunStereo(left, right);
  CSignalBuffer* buffers[2] = {&left, &right};
  for (int channel = 0; channel < 2; ++channel) {
    CSignalBuffer& buffer = *buffers[channel];
    compressor_.Run(buffer, channel);
    buffer.Scale(volume_.EffectiveGain(channel));
    limiter_.Run(buffer, channel);
    analysis_.Analyse(buffer, channel, 2, sampleRate_);
  }
}

}  // namespace engine
