#pragma once
#include "engine/bypass_fade.h"
#include "engine/compressor.h"
#include "engine/equalizer_bank.h"
#include "engine/level_analysis.h"
#include "engine/limiter.h"
#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"
#include "engine/volume.h"

namespace engine {

// The per-channel effect chain: equalizer, compressor, volume, limiter, the bypass's crossfade, level analysis. The
// live engine and the offline renderer run exactly this object, so they cannot drift apart.
class CChannelChain {
 public:
  explicit CChannelChain(ProcessingParameters& parameters);
  virtual ~CChannelChain() = default;

  // Follows the stream's sample rate: stages whose rate differs are marked for redesign.
  void FollowSampleRate(int sampleRate);
  // Restarts every filter and envelope from silence, so no history crosses a format change.
  void Reset();
  // Runs every channel of one block through every stage, in place: buffers[0] is the left (or only)
  // channel, buffers[1] the right (no further buffer is touched). What the live engine and the renderer run.
  void Run(CSignalBuffer* buffers, int channels);
  // Runs one channel of one block through every stage, in place. `channels` is the stream's channel count.
  // Channels other than 0 and 1 are left unchanged.
  void RunChannel(CSignalBuffer& buffer, int channel, int channels);
  // RunChannel(left, 0, 2) then RunChannel(right, 1, 2), with exactly the same results, the equalizer running
  // both channels at once.
  void RunStereo(CSignalBuffer& left, CSignalBuffer& right);

  int SampleRate() const { return sampleRate_; }
  const CEqualizerBank& Equalizer() const { return equalizer_; }
  const CCompressor& Compressor() const { return compressor_; }
  const CLimiter& Limiter() const { return limiter_; }
  const CBypassFade& Bypass() const { return bypass_; }

 private:
  // The stages after the equalizer; `finite` says whether the equalizer's state stayed finite. A stage
  // that met a non-finite input restarts from silence, and the block's non-finite samples become silence.
  void Finish(CSignalBuffer& buffer, int channel, int channels, bool finite);

  CEqualizerBank equalizer_;
  CCompressor compressor_;
  CVolume volume_;
  CLimiter limiter_;
  CBypassFade bypass_;
  CLevelAnalysis analysis_;
  int sampleRate_ = 0;
};

}  // namespace engine
