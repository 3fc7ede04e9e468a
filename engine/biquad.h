#pragma once
#include <array>
#include <cmath>
#include <span>

namespace engine {

// One second-order IIR section (Audio EQ Cookbook coefficients, Direct Form I on doubles). Every filter of
// the engine is one of these: the equalizer's peaking bands, the envelope smoothers of the compressor and
// the limiter, and the band-pass sections of the level analysis.
class CBiquad {
 public:
  enum Kind { kLowPass = 0, kHighPass = 1, kBandPass = 2, kNotch = 3, kPeaking = 4, kLowShelf = 5, kHighShelf = 6 };
  enum WidthForm { kQuality = 0, kBandwidth = 1, kSlope = 2 };

  CBiquad() = default;  // the identity, unprimed
  virtual ~CBiquad() = default;
  CBiquad(const CBiquad&) = default;
  CBiquad& operator=(const CBiquad&) = default;

  // Design inputs: the caller fills them and calls Design.
  double gain = 0.0;  // dB; peaking and shelf kinds, and the slope form
  double sampleRate = 0.0;
  double frequency = 0.0;
  int widthForm = kQuality;
  double q = 0.0;
  double bandwidth = 0.0;  // octaves
  double slope = 0.0;
  int kind = kLowPass;

  // Recomputes the coefficients from the design inputs. A frequency at or above half the sample rate
  // gives the identity. An unknown width form or kind leaves the coefficients as they were. Never touches
  // the history.
  void Design();
  void DesignPeaking(double rate, double centre, double gainDb, double octaves);
  // A low-pass section of quality factor `quality` (the envelope smoothers).
  void DesignLowPass(double rate, double cutoff, double quality);

  double Process(double x) {
    Registers<double> s = Load();
    const double y = s.Next(x);
    Store(s);
    return y;
  }
  // The Direct Form I difference equation y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, summed with the
  // previous output's term last: it is the only one that waits for the sample before, so the recursion
  // costs one multiply and one subtraction per sample instead of three operations. V is double, or a
  // vector of doubles that runs one section per lane with the same rounding.
  template <class V>
  static V Step(V b0, V b1, V b2, V a1, V a2, V x, V x1, V x2, V y1, V y2) {
    return (b0 * x + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
  }
  // Process over the samples in place; the same arithmetic, with the state kept in registers.
  void ProcessBlock(std::span<double> samples);
  // Runs `first` and then `second` over the samples in place, in one pass: the two recursions overlap,
  // which nearly halves the time of two separate passes. The results are those of two ProcessBlock calls.
  static void ProcessPair(CBiquad& first, CBiquad& second, std::span<double> samples);
  // Filters `in` without changing it and returns the sum of the squared outputs, accumulated in sample order.
  double ProcessSumOfSquares(std::span<const double> in);
  // ProcessPair on two channels of the same length at once, the left channel's sections on `left` and the
  // right's on `right`, each channel's arithmetic exactly as ProcessPair's (the two channels share vector lanes).
  static void ProcessPairStereo(CBiquad& firstLeft, CBiquad& secondLeft, CBiquad& firstRight, CBiquad& secondRight,
                                std::span<double> left, std::span<double> right);
  // ProcessSumOfSquares of four independent sections over the same input, in one pass (two sections to a
  // vector), each section's arithmetic exactly as ProcessSumOfSquares'.
  static void ProcessSumOfSquaresQuad(const std::array<CBiquad*, 4>& sections, std::span<const double> in,
                                      double* sums);
  // ProcessSumOfSquares of two independent sections over the same input, in one pass.
  static void ProcessSumOfSquaresPair(CBiquad& first, CBiquad& second, std::span<const double> in, double* firstSum,
                                      double* secondSum);

  // Restarts the section from silence at its next sample, keeping its coefficients.
  void Reset() { primed_ = false; }
  bool Primed() const { return primed_; }
  // Continues from a steady level: both past inputs and outputs become `level`.
  void HoldAt(double level) {
    x1_ = x2_ = y1_ = y2_ = level;
    primed_ = true;
  }

  void SetHistory(double x1, double x2, double y1, double y2) {
    x1_ = x1;
    x2_ = x2;
    y1_ = y1;
    y2_ = y2;
    primed_ = true;
  }
  // False once the history holds an infinity or a NaN (a non-finite input): the section then only ever
  // outputs NaN until it is unprimed.
  bool HistoryFinite() const { return std::isfinite(x1_ + x2_ + y1_ + y2_); }
  double X1() const { return x1_; }
  double X2() const { return x2_; }
  double Y1() const { return y1_; }
  double Y2() const { return y2_; }

  double B0() const { return b0_; }
  double B1() const { return b1_; }
  double B2() const { return b2_; }
  double A1() const { return a1_; }
  double A2() const { return a2_; }
  bool IsIdentity() const { return b0_ == 1.0 && b1_ == 0.0 && b2_ == 0.0 && a1_ == 0.0 && a2_ == 0.0; }

 private:
  void MakeIdentity();

  // A section's coefficients and history as plain values, so that a block loop keeps them in registers.
  // V is double for one section, or Lanes for two sections side by side.
  template <class V>
  struct Registers {
    V b0, b1, b2, a1, a2;
    V x1, x2, y1, y2;

    // One sample through Step; the history moves on by one.
    V Next(V x) {
      const V y = Step(b0, b1, b2, a1, a2, x, x1, x2, y1, y2);
      x2 = x1;
      x1 = x;
      y2 = y1;
      y1 = y;
      return y;
    }
  };
  // Two doubles that every arithmetic operator works on lane by lane, with the rounding of scalar code.
  using Lanes = double __attribute__((vector_size(16)));

  // Load starts an unprimed section from silence, then copies it out; Store writes the history back.
  Registers<double> Load() {
    if (!primed_) HoldAt(0.0);
    return {b0_, b1_, b2_, a1_, a2_, x1_, x2_, y1_, y2_};
  }
  void Store(const Registers<double>& s) { SetHistory(s.x1, s.x2, s.y1, s.y2); }
  // The same for two sections, `lane0` in the first lane and `lane1` in the second.
  static Registers<Lanes> Load(CBiquad& lane0, CBiquad& lane1);
  static void Store(const Registers<Lanes>& s, CBiquad& lane0, CBiquad& lane1);

  bool primed_ = false;
  double b0_ = 1.0, b1_ = 0.0, b2_ = 0.0, a1_ = 0.0, a2_ = 0.0;
  double x1_ = 0.0, x2_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};

}  // namespace engine
