#pragma once
#include <cstdint>
#include <vector>

namespace engine {

// Plays interleaved PCM at a slightly different rate: a band-limited fractional resampler (a Kaiser-windowed sinc,
// 32 taps, read from a table of 256 phases with linear interpolation between neighbouring phases). Each output
// frame is the input interpolated at a position that advances by the ratio per frame, so a ratio above 1 makes
// fewer frames (the stream is played faster), below 1 more. Flat within a few thousandths of a dB up to 43 % of the
// sample rate (20 kHz at 48 kHz, 19 kHz at 44.1 kHz) and images at least 65 dB down from 57 % on: a ratio change
// is a change of pitch, never a jump of phase. At a steady ratio of exactly 1 the position's fraction stays put, so
// the converter is one fixed filter: a constant delay (and at the fraction a fresh start leaves, 0, the input
// itself, delayed).
//
// The stream is delayed by half the filter's length (kDelayFrames); a fresh start emits that many frames of
// silence ahead of the input, so the output's count follows the input's divided by the ratio from the first frame.
// Everything is allocated at construction; Process allocates nothing and takes no lock.
class RateConverter {
 public:
  static constexpr int kTaps = 32;
  static constexpr int kPhases = 256;
  static constexpr int kDelayFrames = kTaps / 2;
  static constexpr double kMaxRatioOffset = 0.01;  // ratios are kept within 1 ± this

  // Widths 8, 16 and 32 bits (engine::pcm; computed in single precision, so 32-bit samples keep 24 bits);
  // `maxFrames`: the longest block Process is given.
  RateConverter(int channels, int bits, int maxFrames);

  // A new stream: silence behind, position at the start, ratio 1.
  void Reset();
  // The ratio for the frames made from now on (input frames per output frame), kept within the bounds.
  void SetRatio(double ratio);
  double Ratio() const { return ratio_; }
  // The most frames Process makes from a block of `frames` (at the lowest ratio).
  static int MaxOutputFrames(int frames);
  // Converts `frames` frames (at most maxFrames) of `input` to `output`, which holds MaxOutputFrames(frames);
  // returns the frames made.
  int Process(const uint8_t* input, int frames, uint8_t* output);

 private:
  const int channels_;
  const int bits_;
  const int maxFrames_;
  const int capacity_;          // samples per channel in history_: the filter's reach behind plus a block
  std::vector<float> history_;  // per channel, one after another: what the filter still reaches, then the block
  std::vector<double> output_;  // one channel's output of a block
  const float* table_;          // kPhases + 1 rows of kTaps, shared by all converters, made at the first one
  int filled_ = 0;              // samples per channel in history_
  double position_ = 0;         // where the next output frame is taken, in samples of history_
  double ratio_ = 1.0;
};

}  // namespace engine
