#include "engine/rate_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "engine/sample_conversion.h"

namespace {

using engine::RateConverter;

// A stereo sine of amplitude 0.5 at `cycles` per sample as 32-bit PCM (far below the converter's own errors),
// played through the converter in blocks of uneven lengths at the ratio `ratioOf(block)` asks for. Records each
// output frame's left sample and the input position it stands for (each frame advances it by its block's ratio), so
// a sine fitted at those positions is what a perfect converter would have made.
struct SineThrough {
  void Play(double cycles, const std::function<double(int)>& ratioOf) {
    constexpr int kLengths[] = {480, 1, 2048, 441, 17};
    RateConverter converter(2, 32, 2048);
    std::vector<uint8_t> in(2048 * 8), out(size_t(RateConverter::MaxOutputFrames(2048)) * 8);
    double position = 0;
    for (int b = 0, input = 0; b < 150; ++b) {
      const int frames = kLengths[b % std::size(kLengths)];
      for (int i = 0; i < frames; ++i) {
        const double x = 0.5 * std::sin(2 * M_PI * cycles * (input + i));
        engine::pcm::Write32(&in[i * 8], x);
        engine::pcm::Write32(&in[i * 8 + 4], -x);
      }
      input += frames;
      converter.SetRatio(ratioOf(b));
      const int made = converter.Process(in.data(), frames, out.data());
      ASSERT_LE(made, RateConverter::MaxOutputFrames(frames));
      ASSERT_LE(std::fabs(converter.Ratio() - 1), RateConverter::kMaxRatioOffset + 1e-12);
      for (int k = 0; k < made; ++k, position += converter.Ratio()) {
        samples.push_back(engine::pcm::Read32(&out[k * 8]));
        positions.push_back(position);
        ASSERT_EQ(engine::pcm::Read32(&out[k * 8 + 4]), -samples.back()) << "the channels are converted alike";
      }
      // The frames made stand for the input up to its last sample and at most one frame beyond: nothing is lost
      // or made up beyond what the ratio asks for, however long the run.
      ASSERT_GE(position, input - 1e-6) << "block " << b;
      ASSERT_LE(position, input + 1 + converter.Ratio() + 1e-6) << "block " << b;
    }
    // Least squares fit of a sin + b cos at the positions, past the start's ramp out of silence.
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (size_t k = kSkip; k < samples.size(); ++k) {
      const double s = std::sin(2 * M_PI * cycles * positions[k]), c = std::cos(2 * M_PI * cycles * positions[k]);
      ss += s * s, sc += s * c, cc += c * c, ys += samples[k] * s, yc += samples[k] * c;
    }
    const double det = ss * cc - sc * sc, a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    double residual = 0;
    for (size_t k = kSkip; k < samples.size(); ++k) {
      const double phase = 2 * M_PI * cycles * positions[k];
      residual += std::pow(samples[k] - a * std::sin(phase) - b * std::cos(phase), 2);
    }
    levelDb = 20 * std::log10(std::hypot(a, b) / 0.5);
    thdNoiseDb = 10 * std::log10(residual / double(samples.size() - kSkip) / (0.5 * (a * a + b * b)));
  }

  static constexpr size_t kSkip = 4 * RateConverter::kTaps;
  std::vector<double> samples, positions;
  double levelDb = 0, thdNoiseDb = 0;
};

// The fault: a correction that bends the sound. Dropping or repeating frames jumps the phase by 140 degrees at
// 19 kHz; a linear interpolation takes 10 dB off 20 kHz where a frame falls between two samples; a filter too
// short or a phase table too coarse leaves images and noise at the top of the band.
TEST(RateConverter, TonesUpTo20kHzKeepTheirLevelAndPurityAtEveryRatio) {
  const struct {
    const char* name;
    std::function<double(int)> of;
  } ratios[] = {
      {"0.99", [](int) { return 0.99; }},
      {"1 (past a fraction of a frame)", [](int b) { return b == 0 ? 1.0037 : 1.0; }},
      {"1.01", [](int) { return 1.01; }},
      {"changed every block", [](int b) { return 1 + 0.01 * std::sin(0.37 * b); }},
      {"asked beyond the bounds", [](int b) { return b % 2 ? 0.9 : 1.1; }},
  };
  const struct { double hz, rate; } tones[] = {{1000, 48000}, {19000, 48000}, {20000, 48000}, {19000, 44100}};
  for (const auto& tone : tones)
    for (const auto& ratio : ratios) {
      SineThrough through;
      through.Play(tone.hz / tone.rate, ratio.of);
      EXPECT_NEAR(through.levelDb, 0, 0.1) << tone.hz << " Hz at " << tone.rate << ", ratio " << ratio.name;
      EXPECT_LT(through.thdNoiseDb, -60) << tone.hz << " Hz at " << tone.rate << ", ratio " << ratio.name;
    }
}

// At a steady ratio of 1 from a fresh start the converter is a plain delay: every sample comes out as it went in
// (within the last bit of the PCM conversion), half the filter's length later, after that much silence.
TEST(RateConverter, AtRatioOneFromAFreshStartItIsAPlainDelay) {
  constexpr int kFrames = 64, kBlocks = 3, kDelay = RateConverter::kDelayFrames;
  RateConverter converter(1, 16, kFrames);
  std::vector<int16_t> in(kBlocks * kFrames), out((kBlocks - 1) * kFrames + RateConverter::MaxOutputFrames(kFrames));
  for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(i * 40503u);
  int made = 0;
  for (int b = 0; b < kBlocks; ++b)
    made += converter.Process(reinterpret_cast<const uint8_t*>(&in[b * kFrames]), kFrames,
                              reinterpret_cast<uint8_t*>(&out[made]));
  ASSERT_EQ(made, kBlocks * kFrames);
  for (int k = 0; k < made; ++k) EXPECT_NEAR(out[k], k < kDelay ? 0 : in[k - kDelay], 1) << "frame " << k;
}

}  // namespace
