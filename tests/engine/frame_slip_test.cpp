#include "engine/frame_slip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// A stereo tone of `frames` frames at `bits` bits, full scale times 0.9, as little-endian PCM.
std::vector<uint8_t> Tone(double hz, int frames, int bits) {
  const int bytes = bits / 8;
  std::vector<uint8_t> pcm(static_cast<size_t>(frames) * 2 * bytes + 2 * bytes);
  const double full = std::ldexp(1.0, bits - 1) - 1;
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c) {
      const auto value = static_cast<int64_t>(std::lround(0.9 * full * std::sin(2 * M_PI * hz * i / 48000)));
      const uint32_t word = bits == 8 ? static_cast<uint32_t>(value + 128) : static_cast<uint32_t>(value);
      for (int b = 0; b < bytes; ++b) pcm[(i * 2 + c) * bytes + b] = static_cast<uint8_t>(word >> (8 * b));
    }
  return pcm;
}

double Sample(const std::vector<uint8_t>& pcm, int index, int bits) {
  const int bytes = bits / 8;
  uint32_t word = 0;
  for (int b = 0; b < bytes; ++b) word |= static_cast<uint32_t>(pcm[index * bytes + b]) << (8 * b);
  if (bits == 8) return static_cast<double>(word) - 128;
  return static_cast<double>(static_cast<int32_t>(word << (32 - bits)) >> (32 - bits));
}

// The steepest step between neighbouring samples of the left channel: a click shows as one far steeper.
double SteepestStep(const std::vector<uint8_t>& pcm, int frames, int bits) {
  double steepest = 0;
  for (int i = 1; i < frames; ++i)
    steepest = std::max(steepest, std::fabs(Sample(pcm, 2 * i, bits) - Sample(pcm, 2 * (i - 1), bits)));
  return steepest;
}

// The rate correction drops or repeats a frame now and then. Where it does that decides whether it is heard:
// in a tone whose block starts and ends at a zero crossing (where a step is steepest), a frame slipped there
// doubles a step, a click; slipped at the tone's crest it leaves no step steeper than the tone's own.
TEST(FrameSlip, ADroppedOrRepeatedFrameLeavesNoStepSteeperThanTheTonesOwn) {
  constexpr int kFrames = 480;  // ten periods of 1 kHz
  for (const int bits : {8, 16, 24, 32})
    for (const int slip : {1, -1}) {
      const std::vector<uint8_t> tone = Tone(1000, kFrames, bits);
      std::vector<uint8_t> out(tone.size());
      const int written = engine::SlipFrame(tone.data(), kFrames, 2, bits, slip, out.data());
      ASSERT_EQ(written, kFrames - slip) << bits << " bits";
      const double own = SteepestStep(tone, kFrames, bits);
      EXPECT_LE(SteepestStep(out, written, bits), own * 1.01) << bits << " bits, slip " << slip;
      EXPECT_EQ(Sample(out, 0, bits), Sample(tone, 0, bits)) << "the block's start stays in place";
      EXPECT_EQ(Sample(out, 2 * (written - 1), bits), Sample(tone, 2 * (kFrames - 1), bits)) << "and its end";
    }
  const std::vector<uint8_t> tone = Tone(1000, kFrames, 16);
  std::vector<uint8_t> out(tone.size());
  ASSERT_EQ(engine::SlipFrame(tone.data(), kFrames, 2, 16, 0, out.data()), kFrames);
  EXPECT_TRUE(std::equal(tone.begin(), tone.begin() + kFrames * 4, out.begin())) << "nothing owed: untouched";
}

}  // namespace
