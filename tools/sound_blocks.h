#pragma once
#include <sndfile.h>

#include <vector>

#include "engine/signal_buffer.h"

namespace cli {

// Moves audio between a sound file and the chain's channel buffers. The file is read and written in long
// chunks (few system calls), the chain runs on short blocks of each chunk (both channels of a block stay
// in the first-level cache from one stage to the next). 16-bit PCM, the common case, is converted here in
// one pass per direction (v / 32768 in, x * 32768 rounded and clipped out), which spares an interleaved
// copy in doubles and the library's conversion loops; every other format goes through the library's
// doubles.
class SoundBlocks {
 public:
  SoundBlocks(const SF_INFO& info, int chunkFrames);

  // Reads the next chunk; returns its frames (0 at the end), or < 0 on failure.
  sf_count_t ReadChunk(SNDFILE* file);
  // Copies `frames` frames from `offset` in the chunk into buffers[0..channels-1].
  void Take(sf_count_t offset, int frames, engine::CSignalBuffer* buffers);
  // Puts the buffers' first `frames` frames back at `offset` in the chunk.
  void Put(sf_count_t offset, int frames, const engine::CSignalBuffer* buffers);
  // Writes the chunk's first `frames` frames; false on failure.
  bool WriteChunk(SNDFILE* file, sf_count_t frames);

 private:
  const int channels_;
  const int chunkFrames_;
  const bool pcm16_;
  std::vector<short> shorts_;
  std::vector<double> doubles_;
};

}  // namespace cli
