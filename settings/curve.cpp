#include "settings/curve.h"

#include <cmath>
#include <utility>

namespace settings {
namespace {

float Clamp(float gain, float minimumGain, float maximumGain) {
  if (gain > maximumGain) return maximumGain;
  if (gain < minimumGain) return minimumGain;
  return gain;
}

double Clamp(double gain, float minimumGain, float maximumGain) {
  if (gain > maximumGain) return maximumGain;
  if (gain < minimumGain) return minimumGain;
  return gain;
}

// Frequencies at or below zero sit far left of the audible range instead of producing -inf.
double LogFrequency(double frequency) { return std::log10(frequency > 1e-20 ? frequency : 1e-20); }

}  // namespace

CCurve::CCurve(const CCurve& other) : points(other.points), gather(other.gather) {}

CCurve& CCurve::operator=(const CCurve& other) {
  if (this != &other) {
    points = other.points;
    gather = other.gather;
    fitted = false;
  }
  return *this;
}

void CCurve::ResetToDefaults() {
  points.clear();
  for (int frequency : bandFrequencies) points.push_back({static_cast<double>(frequency), 0.0});
  fitted = false;
}

void CCurve::SortByFrequency() {
  // An exchange sort on purpose: which of two points of equal frequency ends first decides GainAt.
  for (size_t i = 0; i < points.size(); ++i)
    for (size_t j = i + 1; j < points.size(); ++j)
      if (points[j].frequency < points[i].frequency) std::swap(points[i], points[j]);
}

void CCurve::SetPoint(int frequency, float gain, float minimumGain, float maximumGain) {
  const double wanted = frequency;
  for (size_t k = 0; k < points.size(); ++k) {
    if (points[k].frequency != wanted) continue;
    // The panel calls this on every slider repaint: equal whole dB means nothing to do.
    if (std::trunc(points[k].gain) == std::trunc(static_cast<double>(gain))) return;
    if (gather) {
      const double shift = gain - points[k].gain;
      for (size_t j = 0; j < points.size(); ++j)
        if (j != k) points[j].gain = Clamp(points[j].gain + shift, minimumGain, maximumGain);
    }
    points[k].gain = Clamp(gain, minimumGain, maximumGain);
    fitted = false;
    return;
  }
  points.push_back({wanted, Clamp(gain, minimumGain, maximumGain)});
  SortByFrequency();
  fitted = false;
}

double CCurve::AverageGain() const {
  double sum = 0.0;
  for (const CurvePoint& point : points) sum += point.gain;
  return sum / static_cast<double>(points.size());
}

void CCurve::SetAllGains(float gain) {
  for (CurvePoint& point : points) point.gain = gain;
  fitted = false;
}

void CCurve::Flatten() { SetAllGains(static_cast<float>(AverageGain())); }

void CCurve::Fit() {
  if (points.size() < 2) ResetToDefaults();
  // Sized by the curve rather than a fixed work area, so a file with any number of points fits.
  std::vector<double> x(points.size()), y(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    x[i] = LogFrequency(points[i].frequency);
    y[i] = points[i].gain;
  }
  spline.SetKnots(x.data(), y.data(), static_cast<int>(points.size()));
  fitted = true;
  cursor = 1;
}

double CCurve::GainAt(int frequency) {
  const double wanted = frequency;
  for (const CurvePoint& point : points)
    if (point.frequency == wanted) return point.gain;
  if (!fitted) Fit();
  return spline.Evaluate(LogFrequency(wanted), cursor);
}

bool CCurve::SameAs(const CCurve& other) const {
  if (points.size() != other.points.size()) return false;
  for (size_t i = 0; i < points.size(); ++i) {
    if (points[i].frequency != other.points[i].frequency) return false;
    if (std::trunc(points[i].gain * 100.0) != std::trunc(other.points[i].gain * 100.0)) return false;
  }
  return true;
}

void CCurve::SetPoints(std::vector<CurvePoint> newPoints) {
  points = std::move(newPoints);
  fitted = false;
}

}  // namespace settings
