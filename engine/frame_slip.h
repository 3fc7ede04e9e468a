#pragma once
#include <cstdint>

namespace engine {

// Where one frame of interleaved PCM can be dropped or played twice with the least audible step: the frame that
// differs least from the one before it, summed over the channels (a waveform's crest, or a quiet spot). Frames
// 1 to frames - 1 are candidates; 0 for fewer than two frames. Widths 8, 16, 24 and 32 bits.
int SmoothestFrame(const uint8_t* data, int frames, int channels, int bits);

// Copies `frames` frames of `source` to `destination` one frame shorter (`slip` > 0: the smoothest frame dropped)
// or longer (`slip` < 0: it is played twice), or unchanged; returns the frames written. `destination` holds
// frames + 1 frames.
int SlipFrame(const uint8_t* source, int frames, int channels, int bits, int slip, uint8_t* destination);

}  // namespace engine
