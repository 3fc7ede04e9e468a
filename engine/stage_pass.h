#pragma once
#include "engine/signal_buffer.h"

namespace engine {

// Runs a stage's sample-at-a-time pass (CCompressor::Pass, CLimiter::Pass) over a whole block in place,
// then stores the state it kept in registers; false when that state had become non-finite and was reset.
template <class Pass>
bool RunPass(Pass pass, CSignalBuffer& buffer) {
  double* samples = buffer.Data();
  const int count = buffer.Count();
  for (int i = 0; i < count; ++i) samples[i] = pass(samples[i]);
  return pass.End();
}

}  // namespace engine
