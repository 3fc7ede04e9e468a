#pragma once
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "settings/spline.h"

namespace settings {

// The eight equalizer band frequencies (Hz), which are also the frequencies of a curve's default points.
inline constexpr std::array<int, 8> bandFrequencies = {25, 63, 160, 400, 1000, 2500, 6300, 16000};

struct CurvePoint {
  double frequency = 0.0;  // Hz
  double gain = 0.0;       // dB
};

// An equalizer curve: control points in ascending frequency, interpolated by a natural cubic spline
// over log10 frequency. A point standing exactly on a frequency gives its own gain unchanged.
class CCurve {
 public:
  CCurve() = default;
  // Copying takes the points and `gather`; the target keeps its own name and must refit.
  CCurve(const CCurve& other);
  CCurve& operator=(const CCurve& other);
  virtual ~CCurve() = default;

  void ResetToDefaults();
  void SortByFrequency();
  // Sets the point at exactly `frequency`, or inserts one; see curve.cpp for the gather and clamping rules.
  void SetPoint(int frequency, float gain, float minimumGain, float maximumGain);
  double AverageGain() const;
  void SetAllGains(float gain);
  void Flatten();
  // Fits the spline to the points (at least two: a shorter curve is reset to the defaults first).
  void Fit();
  double GainAt(int frequency);
  // Same points, frequencies exactly equal and gains equal to the hundredth of a dB (truncated).
  bool SameAs(const CCurve& other) const;

  // Configuration file lines (key " = " curve list); see configuration_io.h for the format.
  void ReadCurve(std::FILE* stream, const std::string& key);
  void WriteCurve(std::FILE* stream, const char* key);

  unsigned PointCount() const { return static_cast<unsigned>(points.size()); }
  // Replaces all points (kept as given: callers pass them in ascending order); clears `fitted`.
  void SetPoints(std::vector<CurvePoint> newPoints);

  std::vector<CurvePoint> points;
  std::string name;
  bool gather = false;
  CSpline spline;
  bool fitted = false;
  int cursor = 1;
};

}  // namespace settings
