#include "engine/channel_chain.h"

namespace engine {

CChannelChain::CChannelChain(ProcessingParameters& parameters)
    : parameters_(parameters), volume_(parameters.volume) {}

void CChannelChain::FollowSampleRate(int sampleRate) { sampleRate_ = sampleRate; }

void CChannelChain::ResetState() {}

void CChannelChain::Process(CSignalBuffer& buffer, int channel, int /*channels*/) {
  buffer.Scale(volume_.EffectiveGain(channel));
}

}  // namespace engine
