#include "tools/sound_blocks.h"

namespace cli {
namespace {
// Full scale of 16-bit PCM, as the file library scales it to doubles.
constexpr double kScale = 32768;
constexpr double kReadScale = 1.0 / kScale;

// 1.5 * 2^52: adding and taking it away again rounds any |v| < 2^51 to the nearest integer (ties to even),
// as lrint does, without a call into the maths library.
constexpr double kRoundingShift = 6755399441055744.0;

// Rounded to the nearest step and clipped. The scale is the reading's, so samples the chain leaves alone
// come back exactly as they were read.
short ToShort(double x) {
  const double scaled = x * kScale;
  if (scaled >= 32767.0) return 32767;
  if (scaled <= -32768.0) return -32768;
  if (!(scaled == scaled)) return 0;  // the chain never hands out NaN; were it to, it plays as silence
  return static_cast<short>((scaled + kRoundingShift) - kRoundingShift);
}
}  // namespace

SoundBlocks::SoundBlocks(const SF_INFO& info, int chunkFrames)
    : channels_(info.channels),
      chunkFrames_(chunkFrames),
      pcm16_((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {
  if (pcm16_)
    shorts_.resize(size_t(chunkFrames) * channels_);
  else
    doubles_.resize(size_t(chunkFrames) * channels_);
}

sf_count_t SoundBlocks::ReadChunk(SNDFILE* file) {
  return pcm16_ ? sf_readf_short(file, shorts_.data(), chunkFrames_)
                : sf_readf_double(file, doubles_.data(), chunkFrames_);
}

void SoundBlocks::Take(sf_count_t offset, int frames, engine::CSignalBuffer* buffers) {
  for (int ch = 0; ch < channels_; ++ch) {
    buffers[ch].Resize(frames);
    double* out = buffers[ch].Data();
    const size_t first = size_t(offset) * channels_ + ch;
    if (pcm16_)
      for (int i = 0; i < frames; ++i) out[i] = shorts_[first + size_t(i) * channels_] * kReadScale;
    else
      for (int i = 0; i < frames; ++i) out[i] = doubles_[first + size_t(i) * channels_];
  }
}

void SoundBlocks::Put(sf_count_t offset, int frames, const engine::CSignalBuffer* buffers) {
  for (int ch = 0; ch < channels_; ++ch) {
    const double* in = buffers[ch].Data();
    const size_t first = size_t(offset) * channels_ + ch;
    if (pcm16_)
      for (int i = 0; i < frames; ++i) shorts_[first + size_t(i) * channels_] = ToShort(in[i]);
    else
      for (int i = 0; i < frames; ++i) doubles_[first + size_t(i) * channels_] = in[i];
  }
}

bool SoundBlocks::WriteChunk(SNDFILE* file, sf_count_t frames) {
  return (pcm16_ ? sf_writef_short(file, shorts_.data(), frames) : sf_writef_double(file, doubles_.data(), frames)) ==
         frames;
}

}  // namespace cli
