#pragma once
#include "engine/wave_device.h"

namespace audio {

// The flag bookkeeping of a buffer header, the same for every output stream: prepared before it is written,
// in the queue until the device is done with it, and never unprepared while the device still holds it.

inline engine::MmResult PrepareHeader(engine::WaveHeader& header) {
  if (!header.data) return engine::kMmInvalidHandle;
  header.flags.store((header.flags.load() | engine::kHeaderPrepared) & ~engine::kHeaderDone);
  return engine::kMmNoError;
}

inline engine::MmResult UnprepareHeader(engine::WaveHeader& header) {
  const uint32_t flags = header.flags.load();
  if ((flags & engine::kHeaderInQueue) && !(flags & engine::kHeaderDone)) return engine::kWaveStillPlaying;
  header.flags.store(flags & ~engine::kHeaderPrepared);
  return engine::kMmNoError;
}

inline void MarkHeaderQueued(engine::WaveHeader& header) {
  header.flags.store((header.flags.load() | engine::kHeaderInQueue) & ~engine::kHeaderDone);
}

inline void MarkHeaderDone(engine::WaveHeader& header) {
  header.flags.store((header.flags.load() | engine::kHeaderDone) & ~engine::kHeaderInQueue);
}

}  // namespace audio
