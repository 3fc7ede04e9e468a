#pragma once
#include "engine/signal_buffer.h"

namespace engine {

// Runs a stage's sample-at-a-time pass (CCompressor::Pass, CLimiter::Pass) over a whole block in place,
// then stores the state it kept in registers.
template <class Pass>
void RunPass(Pass pass, CSignalBuffer& buffer) {
  double* samples = buffer.Data();
  const int count = buffer.Count();
  for (int i = 0; i < count; ++i) samples[i] = pass(samples[i]);
  pass.End();
}

}  // namespace engine
