#include "engine/biquad.h"

#include <algorithm>
#include <cmath>

namespace engine {

namespace {
constexpr double kTwoPi = 6.283185307179586;
// Octave-bandwidth factor: ln 2 over the log of the rounded constant 2.718282 (not of e itself), so that
// every band keeps exactly the width that the shipped presets and users' files were made with.
const double kOctaveFactor = std::log(2.0) / std::log(2.718282);
}  // namespace

void CBiquad::MakeIdentity() {
  b0_ = 1.0;
  b1_ = b2_ = a1_ = a2_ = 0.0;
}

void CBiquad::Design() {
  if (frequency >= sampleRate / 2.0) {
    MakeIdentity();
    return;
  }
  if (widthForm < kQuality || widthForm > kSlope || kind < kLowPass || kind > kHighShelf) return;

  double a = 1.0;
  if (widthForm == kSlope || kind == kPeaking || kind == kLowShelf || kind == kHighShelf)
    a = std::pow(10.0, gain * 0.025);
  const double w0 = kTwoPi * frequency / sampleRate;
  const double sw = std::sin(w0);
  const double cw = std::cos(w0);
  double alpha = 0.0;
  switch (widthForm) {
    case kQuality: alpha = sw / (2.0 * q); break;
    case kBandwidth: alpha = sw * std::sinh(kOctaveFactor * bandwidth * w0 * 0.5 / sw); break;
    case kSlope: alpha = sw / 2.0 * std::sqrt((a + 1.0 / a) * (1.0 / slope - 1.0) + 2.0); break;
  }

  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a0 = 1.0, a1 = 0.0, a2 = 0.0;
  const double ra = std::sqrt(a);
  switch (kind) {
    case kLowPass:
      b0 = (1.0 - cw) / 2.0;
      b1 = 1.0 - cw;
      b2 = (1.0 - cw) / 2.0;
      a0 = 1.0 + alpha;
      a1 = -2.0 * cw;
      a2 = 1.0 - alpha;
      break;
    case kHighPass:
      b0 = (1.0 + cw) / 2.0;
      b1 = -(1.0 + cw);
      b2 = (1.0 + cw) / 2.0;
      a0 = 1.0 + alpha;
      a1 = -2.0 * cw;
      a2 = 1.0 - alpha;
      break;
    case kBandPass:
      b0 = alpha;
      b1 = 0.0;
      b2 = -alpha;
      a0 = 1.0 + alpha;
      a1 = -2.0 * cw;
      a2 = 1.0 - alpha;
      break;
    case kNotch:
      b0 = 1.0;
      b1 = -2.0 * cw;
      b2 = 1.0;
      a0 = 1.0 + alpha;
      a1 = -2.0 * cw;
      a2 = 1.0 - alpha;
      break;
    case kPeaking:
      b0 = 1.0 + alpha * a;
      b1 = -2.0 * cw;
      b2 = 1.0 - alpha * a;
      a0 = 1.0 + alpha / a;
      a1 = -2.0 * cw;
      a2 = 1.0 - alpha / a;
      break;
    case kLowShelf:
      b0 = a * ((a + 1.0) - (a - 1.0) * cw + 2.0 * ra * alpha);
      b1 = 2.0 * a * ((a - 1.0) - (a + 1.0) * cw);
      b2 = a * ((a + 1.0) - (a - 1.0) * cw - 2.0 * ra * alpha);
      a0 = (a + 1.0) + (a - 1.0) * cw + 2.0 * ra * alpha;
      a1 = -2.0 * ((a - 1.0) + (a + 1.0) * cw);
      a2 = (a + 1.0) + (a - 1.0) * cw - 2.0 * ra * alpha;
      break;
    case kHighShelf:
      b0 = a * ((a + 1.0) + (a - 1.0) * cw + 2.0 * ra * alpha);
      b1 = -2.0 * a * ((a - 1.0) + (a + 1.0) * cw);
      b2 = a * ((a + 1.0) + (a - 1.0) * cw - 2.0 * ra * alpha);
      a0 = (a + 1.0) - (a - 1.0) * cw + 2.0 * ra * alpha;
      a1 = 2.0 * ((a - 1.0) - (a + 1.0) * cw);
      a2 = (a + 1.0) - (a - 1.0) * cw - 2.0 * ra * alpha;
      break;
  }
  b0_ = b0 / a0;
  b1_ = b1 / a0;
  b2_ = b2 / a0;
  a1_ = a1 / a0;
  a2_ = a2 / a0;
}

void CBiquad::DesignPeaking(double rate, double centre, double gainDb, double octaves) {
  sampleRate = rate;
  frequency = centre;
  gain = gainDb;
  bandwidth = octaves;
  widthForm = kBandwidth;
  kind = kPeaking;
  Design();
}

void CBiquad::DesignLowPass(double rate, double cutoff, double quality) {
  sampleRate = rate;
  frequency = cutoff;
  q = quality;
  widthForm = kQuality;
  kind = kLowPass;
  Design();
}

CBiquad::Registers<CBiquad::Lanes> CBiquad::Load(CBiquad& lane0, CBiquad& lane1) {
  const Registers<double> a = lane0.Load(), b = lane1.Load();
  return {Lanes{a.b0, b.b0}, Lanes{a.b1, b.b1}, Lanes{a.b2, b.b2}, Lanes{a.a1, b.a1}, Lanes{a.a2, b.a2},
          Lanes{a.x1, b.x1}, Lanes{a.x2, b.x2}, Lanes{a.y1, b.y1}, Lanes{a.y2, b.y2}};
}

// Out of line on purpose: inlined into a loop whose lanes share one input, it leads the compiler to keep
// that input as a separate scalar through the loop, and the four-section loop then runs short of registers.
[[gnu::noinline]] void CBiquad::Store(const Registers<Lanes>& s, CBiquad& lane0, CBiquad& lane1) {
  lane0.SetHistory(s.x1[0], s.x2[0], s.y1[0], s.y2[0]);
  lane1.SetHistory(s.x1[1], s.x2[1], s.y1[1], s.y2[1]);
}

void CBiquad::ProcessBlock(std::span<double> block) {
  double* const samples = block.data();
  const int count = static_cast<int>(block.size());
  if (count <= 0) return;
  Registers<double> s = Load();
  for (int i = 0; i < count; ++i) samples[i] = s.Next(samples[i]);
  Store(s);
}

void CBiquad::ProcessPair(CBiquad& first, CBiquad& second, std::span<double> block) {
  double* const samples = block.data();
  const int count = static_cast<int>(block.size());
  if (count <= 0) return;
  Registers<double> p = first.Load(), q = second.Load();
  for (int i = 0; i < count; ++i) samples[i] = q.Next(p.Next(samples[i]));
  first.Store(p);
  second.Store(q);
}

double CBiquad::ProcessSumOfSquares(std::span<const double> block) {
  const double* const in = block.data();
  const int count = static_cast<int>(block.size());
  Registers<double> s = Load();
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double y = s.Next(in[i]);
    sum += y * y;
  }
  Store(s);
  return sum;
}

void CBiquad::ProcessSumOfSquaresPair(CBiquad& first, CBiquad& second, std::span<const double> block, double* firstSum,
                                      double* secondSum) {
  const double* const in = block.data();
  const int count = static_cast<int>(block.size());
  Registers<double> p = first.Load(), q = second.Load();
  double pSum = 0.0, qSum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double yp = p.Next(in[i]);
    const double yq = q.Next(in[i]);
    pSum += yp * yp;
    qSum += yq * yq;
  }
  first.Store(p);
  second.Store(q);
  *firstSum = pSum;
  *secondSum = qSum;
}

void CBiquad::ProcessPairStereo(CBiquad& firstLeft, CBiquad& secondLeft, CBiquad& firstRight, CBiquad& secondRight,
                                std::span<double> leftBlock, std::span<double> rightBlock) {
  double* const left = leftBlock.data();
  double* const right = rightBlock.data();
  const int count = static_cast<int>(std::min(leftBlock.size(), rightBlock.size()));
  if (count <= 0) return;
  Registers<Lanes> p = Load(firstLeft, firstRight), q = Load(secondLeft, secondRight);
  for (int i = 0; i < count; ++i) {
    const Lanes y = q.Next(p.Next(Lanes{left[i], right[i]}));
    left[i] = y[0];
    right[i] = y[1];
  }
  Store(p, firstLeft, firstRight);
  Store(q, secondLeft, secondRight);
}

void CBiquad::ProcessSumOfSquaresQuad(const std::array<CBiquad*, 4>& sections, std::span<const double> block,
                                      double* sums) {
  const double* const in = block.data();
  const int count = static_cast<int>(block.size());
  CBiquad &a = *sections[0], &b = *sections[1], &c = *sections[2], &d = *sections[3];
  Registers<Lanes> ab = Load(a, b), cd = Load(c, d);
  Lanes abSum = {0.0, 0.0}, cdSum = {0.0, 0.0};
  for (int i = 0; i < count; ++i) {
    const Lanes x = {in[i], in[i]};
    const Lanes yab = ab.Next(x);
    const Lanes ycd = cd.Next(x);
    abSum += yab * yab;
    cdSum += ycd * ycd;
  }
  Store(ab, a, b);
  Store(cd, c, d);
  sums[0] = abSum[0];
  sums[1] = abSum[1];
  sums[2] = cdSum[0];
  sums[3] = cdSum[1];
}

}  // namespace engine
