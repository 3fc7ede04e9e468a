#include "engine/power_table.h"

namespace engine {

void CPowerTable::Prepare(double exponent) {
  exponent_ = exponent;
  // Beyond this the binomial coefficients grow and the short series is no longer exact enough.
  tabulated_ = std::fabs(exponent) <= kMaximumExponent;
  if (!tabulated_) return;
  for (uint64_t k = 0; k < kOctaves; ++k) octave_[k] = std::pow(2.0, double(int64_t(k) + kLowestOctave) * exponent);
  for (int i = 0; i < kSlices; ++i)
    // c^p for the centre that r is measured against, i.e. 1 / (1 / c) as stored.
    slice_[i] = std::pow(kInverseCentre[i], -exponent);
  // (1 + r)^p = sum over j of binomial(p, j) r^j.
  series_[0] = 1.0;
  for (int j = 1; j <= kSeriesDegree; ++j) series_[j] = series_[j - 1] * (exponent - (j - 1)) / j;
}

}  // namespace engine
