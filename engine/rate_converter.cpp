#include "engine/rate_converter.h"

#include <algorithm>
#include <cmath>

#include "engine/sample_conversion.h"

namespace engine {
namespace {

constexpr int kHalf = RateConverter::kDelayFrames;
// The Kaiser window's shape: about 68 dB of image rejection, the most 32 taps give while the pass band still
// reaches 43 % of the sample rate.
constexpr double kBeta = 6.6;

double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; term > sum * 1e-17; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
  }
  return sum;
}

// Row p holds the taps for an output taken p / kPhases of a sample past the sample the filter centres on; the
// row past the last (a whole sample on) closes the interpolation. Each row sums to 1: a constant passes unchanged
// at every position. Row 0 is the input itself (the sinc is 0 at every other sample).
std::vector<float> MakeTable() {
  constexpr int kTaps = RateConverter::kTaps, kPhases = RateConverter::kPhases;
  std::vector<float> table(size_t(kPhases + 1) * kTaps);
  double row[kTaps];
  for (int p = 0; p <= kPhases; ++p) {
    double sum = 0;
    for (int j = 0; j < kTaps; ++j) {
      const double d = j - kHalf + 1 - double(p) / kPhases;  // from the output's position to tap j's sample
      const double sinc = d == 0 ? 1 : std::sin(M_PI * d) / (M_PI * d);
      const double edge = d / kHalf;
      row[j] = sinc * BesselI0(kBeta * std::sqrt(std::max(0.0, 1 - edge * edge))) / BesselI0(kBeta);
      sum += row[j];
    }
    for (int j = 0; j < kTaps; ++j) table[size_t(p) * kTaps + j] = float(row[j] / sum);
  }
  return table;
}

const std::vector<float>& Table() {
  static const std::vector<float> table = MakeTable();
  return table;
}

// The taps for an output `fraction` of a sample past the sample the filter centres on, between two rows of the
// table. Into a local array: with nothing else it could overlap, the loop is done four taps at a time.
inline void Interpolate(const float* table, double fraction, float (&taps)[RateConverter::kTaps]) {
  const double at = fraction * RateConverter::kPhases;
  const int phase = std::min(int(at), RateConverter::kPhases - 1);
  const float weight = float(at - phase);
  const float* row = table + size_t(phase) * RateConverter::kTaps;
  const float* next = row + RateConverter::kTaps;
  for (int j = 0; j < RateConverter::kTaps; ++j) taps[j] = row[j] + weight * (next[j] - row[j]);
}

}  // namespace

RateConverter::RateConverter(int channels, int bits, int maxFrames)
    : channels_(channels),
      bits_(bits),
      maxFrames_(maxFrames),
      capacity_(2 * kTaps + maxFrames),
      history_(size_t(channels) * size_t(capacity_)),
      output_(size_t(channels) * size_t(MaxOutputFrames(maxFrames))),
      table_(Table().data()) {
  Reset();
}

void RateConverter::Reset() {
  std::fill(history_.begin(), history_.end(), 0.0f);
  // The first output frame is centred on the last of 2 * kHalf - 1 samples of silence, the filter's reach
  // ahead being the block's first kHalf samples: the input comes out kHalf frames late.
  filled_ = 2 * kHalf - 1;
  position_ = kHalf - 1;
  ratio_ = 1.0;
}

void RateConverter::SetRatio(double ratio) { ratio_ = std::clamp(ratio, 1 - kMaxRatioOffset, 1 + kMaxRatioOffset); }

int RateConverter::MaxOutputFrames(int frames) { return int(frames / (1 - kMaxRatioOffset)) + 2; }

int RateConverter::Process(const uint8_t* input, int frames, uint8_t* output) {
  frames = std::clamp(frames, 0, maxFrames_);
  const int sampleBytes = bits_ / 8;
  const int stride = sampleBytes * channels_;
  for (int c = 0; c < channels_; ++c) {
    pcm::ReadChannel(input + c * sampleBytes, stride, bits_, std::span(output_.data(), size_t(frames)));
    std::copy(output_.begin(), output_.begin() + frames, history_.begin() + c * capacity_ + filled_);
  }
  filled_ += frames;

  const int maxOutput = MaxOutputFrames(maxFrames_);
  int made = 0;
  // An output frame centred on sample i reaches from i - kHalf + 1 to i + kHalf.
  for (int i = int(position_); i + kHalf < filled_; i = int(position_)) {
    float taps[kTaps];
    Interpolate(table_, position_ - i, taps);
    for (int c = 0; c < channels_; ++c) {
      const float* x = &history_[size_t(c) * capacity_ + size_t(i - kHalf + 1)];
      // Eight sums side by side: one would be a chain of 32 additions, each waiting for the one before.
      float s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0, s6 = 0, s7 = 0;
      for (int j = 0; j < kTaps; j += 8) {
        s0 += x[j] * taps[j];
        s1 += x[j + 1] * taps[j + 1];
        s2 += x[j + 2] * taps[j + 2];
        s3 += x[j + 3] * taps[j + 3];
        s4 += x[j + 4] * taps[j + 4];
        s5 += x[j + 5] * taps[j + 5];
        s6 += x[j + 6] * taps[j + 6];
        s7 += x[j + 7] * taps[j + 7];
      }
      output_[size_t(c) * maxOutput + made] = ((s0 + s4) + (s1 + s5)) + ((s2 + s6) + (s3 + s7));
    }
    ++made;
    position_ += ratio_;
  }
  for (int c = 0; c < channels_; ++c)
    pcm::WriteChannel(output + c * sampleBytes, stride, bits_,
                      std::span<const double>(&output_[size_t(c) * maxOutput], size_t(made)));

  // Only what the next output frame reaches back to is kept.
  const int keepFrom = int(position_) - kHalf + 1;
  for (int c = 0; c < channels_; ++c) {
    float* channel = &history_[size_t(c) * capacity_];
    std::copy(channel + keepFrom, channel + filled_, channel);
  }
  filled_ -= keepFrom;
  position_ -= keepFrom;
  return made;
}

}  // namespace engine
