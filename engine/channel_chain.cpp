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
  const bool equalizerFinite = equalizer_.RunStereo(left, right);
  if (left.Count() != right.Count()) {
    Finish(left, 0, 2, equalizerFinite);
    Finish(right, 1, 2, equalizerFinite);
    return;
  }
  // The stages that follow a level run both channels side by side: each channel's recursion waits only for
  // its own previous sample, so the two overlap. Every channel's arithmetic stays that of Finish.
  bool finite[2] = {equalizerFinite, equalizerFinite};
  compressor_.RunStereo(left, right, finite);
  left.Scale(volume_.EffectiveGain(0));
  right.Scale(volume_.EffectiveGain(1));
  limiter_.RunStereo(left, right, finite);
  CSignalBuffer* buffers[2] = {&left, &right};
  for (int channel = 0; channel < 2; ++channel) {
    bypass_.Mix(*buffers[channel], channel, sampleRate_);
    if (!finite[channel]) buffers[channel]->ZeroNonFinite();
    analysis_.Run(*buffers[channel], channel, 2, sampleRate_);
  }
}

void CChannelChain::Finish(CSignalBuffer& buffer, int channel, int channels, bool finite) {
  finite &= compressor_.Run(buffer, channel);
  buffer.Scale(volume_.EffectiveGain(channel));
  finite &= limiter_.Run(buffer, channel);
  // The monitor reads what plays: the untouched sound while bypassed.
  bypass_.Mix(buffer, channel, sampleRate_);
  if (!finite) buffer.ZeroNonFinite();
  analysis_.Run(buffer, channel, channels, sampleRate_);
}

}  // namespace engine
