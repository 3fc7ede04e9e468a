#pragma once
#include <vector>

namespace settings {

// A natural cubic spline through knots (x, y) with x non-decreasing. The coefficients are computed on
// the first evaluation after new knots; a knot whose x equals the previous knot's is left out of the
// fit (a zero-width segment would make every coefficient infinite), so the first of such knots counts.
class CSpline {
 public:
  virtual ~CSpline() = default;

  // Replaces the knots; throws MemoryException when the arrays cannot be allocated.
  void SetKnots(const double* x, const double* y, int n);
  // The spline at x. `cursor` is the 1-based segment tried first; it is updated to the segment used.
  // Beyond the last knot the last cubic continues, below the first knot the first one.
  double Evaluate(double x, int& cursor);

 private:
  void ComputeCoefficients();

  // Index 0 is unused so that the 1-based formulas read as written.
  std::vector<double> x_, y_, b_, c_, d_;
  int n_ = 0;
  bool computed_ = false;
};

}  // namespace settings
