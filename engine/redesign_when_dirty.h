#pragma once
#include <atomic>
#include <cstdint>

#include "platform/critical_section.h"

namespace engine {

// Picks up a record that the user interface changed: when it is dirty and its lock is free, `redesign`
// runs under the lock and the record is clean again. A busy lock keeps the old design for this block and
// leaves the record dirty for the next, so the audio path never waits for the user interface.
// `redesign` is declared REQUIRES(lock) by its caller; the analysis cannot see that `lock` here is that lock.
template <class Redesign>
void RedesignWhenDirty(std::atomic<uint8_t>& dirty, platform::CriticalSection& lock,
                       Redesign&& redesign) NO_THREAD_SAFETY_ANALYSIS {
  if (!dirty || !lock.TryEnter()) return;
  redesign();
  dirty = 0;
  lock.Leave();
}

}  // namespace engine
