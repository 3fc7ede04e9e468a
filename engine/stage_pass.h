#pragma once
#include <algorithm>
#include <cmath>

#include "engine/envelope_follower.h"
#include "engine/signal_buffer.h"

namespace engine {

// Runs a stage's sample-at-a-time pass (CLimiter::Pass) over a whole block in place, then stores the
// state it kept in registers; false when that state had become non-finite and was reset.
template <class Pass>
bool RunPass(Pass pass, CSignalBuffer& buffer) {
  double* samples = buffer.Data();
  const int count = buffer.Count();
  for (int i = 0; i < count; ++i) samples[i] = pass(samples[i]);
  return pass.End();
}

// RunPass over a stereo block: `left` on `leftBuffer` and `right` on `rightBuffer` (the same length), sample by
// sample side by side. The channels' recursions do not wait for each other, so they overlap; each channel's
// arithmetic is exactly RunPass's. Clears finite[channel] when that channel's state was reset.
template <class Pass>
void RunPassStereo(Pass left, Pass right, CSignalBuffer& leftBuffer, CSignalBuffer& rightBuffer, bool* finite) {
  double* l = leftBuffer.Data();
  double* r = rightBuffer.Data();
  const int count = leftBuffer.Count();
  for (int i = 0; i < count; ++i) {
    l[i] = left(l[i]);
    r[i] = right(r[i]);
  }
  finite[0] &= left.End();
  finite[1] &= right.End();
}

// Samples per chunk of an envelope stage: small enough for the chunk's envelope to stay in the first-level
// cache, long enough that the per-chunk work is negligible.
inline constexpr int kEnvelopeChunk = 256;

// Runs an envelope stage whose gains cost more than its envelope (the compressor) over a block in place, a
// chunk at a time: first the
// envelope's recursion alone over the chunk, then apply(envelope, samples, count), which scales the
// chunk's samples by what the envelope asks for. Apart, the recursion does not wait for the gains' maths
// nor the gains for the recursion. Returns false when the follower's state had become non-finite (a
// non-finite input) and was reset.
template <class Apply>
bool RunEnvelopeStage(EnvelopeFollower& follower, CSignalBuffer& buffer, Apply&& apply) {
  EnvelopeCursor cursor(follower);
  double envelope[kEnvelopeChunk];
  double* samples = buffer.Data();
  const int count = buffer.Count();
  for (int start = 0; start < count; start += kEnvelopeChunk) {
    double* x = samples + start;
    const int n = std::min(kEnvelopeChunk, count - start);
    for (int i = 0; i < n; ++i) envelope[i] = cursor.Next(std::fabs(x[i]));
    apply(envelope, x, n);
  }
  return cursor.Store();
}

// RunEnvelopeStage over a stereo block (buffers of the same length), both channels' envelopes computed side by
// side so that their recursions overlap; apply(channel, envelope, samples, count) then scales each channel's
// chunk. Each channel's arithmetic is exactly RunEnvelopeStage's. Clears finite[channel] when that channel's
// state was reset.
template <class Apply>
void RunEnvelopeStageStereo(EnvelopeFollower& leftFollower, EnvelopeFollower& rightFollower, CSignalBuffer& leftBuffer,
                            CSignalBuffer& rightBuffer, Apply&& apply, bool* finite) {
  EnvelopeCursor left(leftFollower), right(rightFollower);
  double leftEnvelope[kEnvelopeChunk], rightEnvelope[kEnvelopeChunk];
  double* l = leftBuffer.Data();
  double* r = rightBuffer.Data();
  const int count = leftBuffer.Count();
  for (int start = 0; start < count; start += kEnvelopeChunk) {
    const int n = std::min(kEnvelopeChunk, count - start);
    for (int i = 0; i < n; ++i) {
      leftEnvelope[i] = left.Next(std::fabs(l[start + i]));
      rightEnvelope[i] = right.Next(std::fabs(r[start + i]));
    }
    apply(0, leftEnvelope, l + start, n);
    apply(1, rightEnvelope, r + start, n);
  }
  finite[0] &= left.Store();
  finite[1] &= right.Store();
}

}  // namespace engine
