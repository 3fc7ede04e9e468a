#pragma once
#include <sndfile.h>

#include <vector>

#include "engine/signal_buffer.h"

namespace cli {

// Moves blocks between a sound file's interleaved frames and the chain's channel buffers. 16-bit PCM,
// the common case, is converted here in one pass per direction (v / 32768 in, x * 32768 rounded and
// clipped out), which spares an interleaved copy in doubles and the library's conversion loops; every
// other format goes through the library's doubles.
class SoundBlocks {
 public:
  SoundBlocks(const SF_INFO& info, int frames);

  // Reads up to `frames` frames into buffers[0..channels-1]; returns the frames read, or < 0 on failure.
  sf_count_t Read(SNDFILE* file, engine::CSignalBuffer* buffers);
  // Writes the first `frames` frames of the buffers; false on failure.
  bool Write(SNDFILE* file, const engine::CSignalBuffer* buffers, sf_count_t frames);

 private:
  const int channels_;
  const int frames_;
  const bool pcm16_;
  std::vector<short> shorts_;
  std::vector<double> doubles_;
};

}  // namespace cli
