#include "settings/spline.h"

#include <new>

#include "engine/exceptions.h"

namespace settings {

void CSpline::SetKnots(const double* x, const double* y, int n) {
  try {
    x_.assign(1, 0.0);
    y_.assign(1, 0.0);
    for (int i = 0; i < n; ++i) {
      if (i > 0 && x[i] == x_.back()) continue;
      x_.push_back(x[i]);
      y_.push_back(y[i]);
    }
    n_ = static_cast<int>(x_.size()) - 1;
    b_.assign(n_ + 1, 0.0);
    c_.assign(n_ + 1, 0.0);
    d_.assign(n_ + 1, 0.0);
  } catch (const std::bad_alloc&) {
    x_.clear();
    y_.clear();
    b_.clear();
    c_.clear();
    d_.clear();
    n_ = 0;
    computed_ = false;
    throw engine::MemoryException("Cannot allocate the spline coefficients.");
  }
  computed_ = false;
}

void CSpline::ComputeCoefficients() {
  const int n = n_;
  if (n < 2) return;
  std::vector<double> h(n + 1, 0.0), m(n + 1, 0.0);
  for (int i = 1; i <= n - 1; ++i) h[i] = x_[i + 1] - x_[i];
  // Tridiagonal rows for the interior second derivatives M_2 .. M_{n-1}; M_1 = M_n = 0.
  std::vector<double> diagonal(n + 1, 0.0), right(n + 1, 0.0);
  for (int i = 2; i <= n - 1; ++i) {
    diagonal[i] = 2.0 * (h[i - 1] + h[i]);
    right[i] = 6.0 * (y_[i + 1] - y_[i]) / h[i] - 6.0 * (y_[i] - y_[i - 1]) / h[i - 1];
  }
  for (int i = 3; i <= n - 1; ++i) {
    double factor = h[i - 1] / diagonal[i - 1];
    diagonal[i] -= factor * h[i - 1];
    right[i] -= factor * right[i - 1];
  }
  for (int i = n - 1; i >= 2; --i) m[i] = (right[i] - h[i] * m[i + 1]) / diagonal[i];
  for (int i = 1; i <= n - 1; ++i) {
    b_[i] = (y_[i + 1] - y_[i]) / h[i] - (2.0 * m[i] + m[i + 1]) * h[i] / 6.0;
    c_[i] = m[i] / 2.0;
    d_[i] = (m[i + 1] - m[i]) / (6.0 * h[i]);
  }
}

double CSpline::Evaluate(double x, int& cursor) {
  if (n_ == 0) return 0.0;
  if (n_ == 1) return y_[1];
  if (!computed_) {
    ComputeCoefficients();
    computed_ = true;
  }
  if (cursor > n_ || cursor < 1) cursor = 1;
  int segment;
  if (x >= x_[n_]) {
    segment = n_ - 1;
  } else if (cursor < n_ && x_[cursor] <= x && x <= x_[cursor + 1]) {
    segment = cursor;
  } else {
    cursor = 1;
    int high = n_ + 1;
    while (high > cursor + 1) {
      int middle = (cursor + high) / 2;
      if (x < x_[middle])
        high = middle;
      else
        cursor = middle;
    }
    segment = cursor;
  }
  double t = x - x_[segment];
  return ((d_[segment] * t + c_[segment]) * t + b_[segment]) * t + y_[segment];
}

}  // namespace settings
