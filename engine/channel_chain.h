#pragma once
#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"
#include "engine/volume.h"

namespace engine {

// The per-channel effect chain: equalizer, compressor, volume, limiter, level analysis. The live engine
// and the offline renderer run exactly this object, so they cannot drift apart.
class CChannelChain {
 public:
  explicit CChannelChain(ProcessingParameters& parameters = Parameters());
  virtual ~CChannelChain() = default;

  // Follows the stream's sample rate: stages whose rate differs are marked for redesign.
  void FollowSampleRate(int sampleRate);
  // Restarts every filter and envelope from silence, so no history crosses a format change.
  void ResetState();
  // Runs one channel of one block through every stage, in place. `channels` is the stream's channel count.
  void Process(CSignalBuffer& buffer, int channel, int channels);

  ProcessingParameters& Params() { return parameters_; }

 private:
  ProcessingParameters& parameters_;
  CVolume volume_;
  int sampleRate_ = 0;
};

}  // namespace engine
