#pragma once
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace engine {

namespace power_table_detail {
// 1 / c for the centre c of each of `slices` equal slices of [1, 2).
template <int slices>
constexpr std::array<double, slices> InverseCentres() {
  std::array<double, slices> inverse{};
  for (int i = 0; i < slices; ++i) inverse[i] = 1.0 / (1.0 + (i + 0.5) / slices);
  return inverse;
}
}  // namespace power_table_detail

// x^p for one fixed exponent p, as a table lookup and a short series instead of a pow per call: x is
// split into its power of two 2^k and a mantissa near the centre c of one of 64 slices of [1, 2), so
//   x^p = (2^p)^k * c^p * (1 + r)^p,   |r| <= 1/128,
// with the first two factors tabulated when p is set and the third a binomial series that is exact to
// below double rounding on that range. Results agree with std::pow to about 1e-15 (relative). Exponents
// beyond +-2 and values outside 2^-64..2^64 fall back to std::pow.
class CPowerTable {
 public:
  static constexpr double kMaximumExponent = 2.0;

  void Prepare(double exponent);
  double Exponent() const { return exponent_; }

  double operator()(double x) const {
    if (!Tabulated(x)) return std::pow(x, exponent_);
    const uint64_t bits = std::bit_cast<uint64_t>(x);
    const int slice = Slice(bits);
    return octave_[Octave(bits)] * slice_[slice] * Series(Reduced(bits, slice));
  }

  // Two values at a time, each exactly as operator() computes it; both must be Tabulated.
  using Lanes = double __attribute__((vector_size(16)));
  Lanes Pair(double x0, double x1) const {
    const uint64_t bits0 = std::bit_cast<uint64_t>(x0), bits1 = std::bit_cast<uint64_t>(x1);
    const int slice0 = Slice(bits0), slice1 = Slice(bits1);
    const Lanes r = {Reduced(bits0, slice0), Reduced(bits1, slice1)};
    return Lanes{octave_[Octave(bits0)], octave_[Octave(bits1)]} * Lanes{slice_[slice0], slice_[slice1]} * Series(r);
  }
  // x lies in the table's range (and the exponent is one the table holds).
  bool Tabulated(double x) const { return Octave(std::bit_cast<uint64_t>(x)) < kOctaves && tabulated_; }

 private:
  // A negative x wraps far out of range.
  static uint64_t Octave(uint64_t bits) { return (bits >> 52) - (1023 + kLowestOctave); }
  static int Slice(uint64_t bits) { return int((bits >> (52 - kSliceBits)) & (kSlices - 1)); }
  // r = mantissa / slice centre - 1.
  static double Reduced(uint64_t bits, int slice) {
    const double mantissa = std::bit_cast<double>((bits & kMantissaBits) | kOneBits);
    return mantissa * kInverseCentre[slice] - 1.0;
  }
  // Estrin's scheme: the same polynomial as Horner's with a shorter chain of dependent operations.
  template <class V>
  V Series(V r) const {
    const V r2 = r * r;
    const V r4 = r2 * r2;
    const V low = (series_[0] + series_[1] * r) + (series_[2] + series_[3] * r) * r2;
    const V high = (series_[4] + series_[5] * r) + (series_[6] + series_[7] * r) * r2;
    return low + high * r4;
  }

  static constexpr int kSliceBits = 6;
  static constexpr int kSlices = 1 << kSliceBits;
  static constexpr int kLowestOctave = -64;
  static constexpr uint64_t kOctaves = 128;
  static constexpr int kSeriesDegree = 7;  // evaluated by Estrin's scheme in operator()
  static constexpr uint64_t kMantissaBits = 0x000FFFFFFFFFFFFFull;
  static constexpr uint64_t kOneBits = 0x3FF0000000000000ull;
  static constexpr std::array<double, kSlices> kInverseCentre = power_table_detail::InverseCentres<kSlices>();

  double exponent_ = 0.0;
  bool tabulated_ = false;
  std::array<double, kOctaves> octave_{};
  std::array<double, kSlices> slice_{};
  std::array<double, kSeriesDegree + 1> series_{};
  static_assert(kSeriesDegree == 7, "operator() evaluates exactly eight series terms");
};

}  // namespace engine
