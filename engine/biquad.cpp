#include "engine/biquad.h"

#include <cmath>
#include <initializer_list>

namespace engine {

namespace {
constexpr double kTwoPi = 6.283185307179586;
// Octave-bandwidth factor: ln 2 over the log of the rounded constant 2.718282 (not of e itself), as the
// equalizer's curves have always been computed.
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
    case kQuality:
      alpha = sw / (2.0 * q);
      break;
    case kBandwidth:
      alpha = sw * std::sinh(kOctaveFactor * bandwidth * w0 * 0.5 / sw);
      break;
    case kSlope:
      alpha = sw / 2.0 * std::sqrt((a + 1.0 / a) * (1.0 / slope - 1.0) + 2.0);
      break;
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

void CBiquad::ProcessBlock(double* samples, int count) {
  if (count <= 0) return;
  if (!primed_) {
    x1_ = x2_ = y1_ = y2_ = 0.0;
    primed_ = true;
  }
  const double b0 = b0_, b1 = b1_, b2 = b2_, a1 = a1_, a2 = a2_;
  double x1 = x1_, x2 = x2_, y1 = y1_, y2 = y2_;
  for (int i = 0; i < count; ++i) {
    const double x = samples[i];
    const double y = Step(b0, b1, b2, a1, a2, x, x1, x2, y1, y2);
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    samples[i] = y;
  }
  x1_ = x1;
  x2_ = x2;
  y1_ = y1;
  y2_ = y2;
}

void CBiquad::ProcessPair(CBiquad& first, CBiquad& second, double* samples, int count) {
  if (count <= 0) return;
  for (CBiquad* section : {&first, &second})
    if (!section->primed_) {
      section->x1_ = section->x2_ = section->y1_ = section->y2_ = 0.0;
      section->primed_ = true;
    }
  const double pb0 = first.b0_, pb1 = first.b1_, pb2 = first.b2_, pa1 = first.a1_, pa2 = first.a2_;
  const double qb0 = second.b0_, qb1 = second.b1_, qb2 = second.b2_, qa1 = second.a1_, qa2 = second.a2_;
  double px1 = first.x1_, px2 = first.x2_, py1 = first.y1_, py2 = first.y2_;
  double qx1 = second.x1_, qx2 = second.x2_, qy1 = second.y1_, qy2 = second.y2_;
  for (int i = 0; i < count; ++i) {
    const double x = samples[i];
    const double p = Step(pb0, pb1, pb2, pa1, pa2, x, px1, px2, py1, py2);
    px2 = px1;
    px1 = x;
    py2 = py1;
    py1 = p;
    const double q = Step(qb0, qb1, qb2, qa1, qa2, p, qx1, qx2, qy1, qy2);
    qx2 = qx1;
    qx1 = p;
    qy2 = qy1;
    qy1 = q;
    samples[i] = q;
  }
  first.x1_ = px1;
  first.x2_ = px2;
  first.y1_ = py1;
  first.y2_ = py2;
  second.x1_ = qx1;
  second.x2_ = qx2;
  second.y1_ = qy1;
  second.y2_ = qy2;
}

void CBiquad::ProcessSumOfSquaresPair(CBiquad& first, CBiquad& second, const double* in, int count,
                                      double* firstSum, double* secondSum) {
  for (CBiquad* section : {&first, &second})
    if (!section->primed_) {
      section->x1_ = section->x2_ = section->y1_ = section->y2_ = 0.0;
      section->primed_ = true;
    }
  const double pb0 = first.b0_, pb1 = first.b1_, pb2 = first.b2_, pa1 = first.a1_, pa2 = first.a2_;
  const double qb0 = second.b0_, qb1 = second.b1_, qb2 = second.b2_, qa1 = second.a1_, qa2 = second.a2_;
  double x1 = first.x1_, x2 = first.x2_, py1 = first.y1_, py2 = first.y2_;
  double qx1 = second.x1_, qx2 = second.x2_, qy1 = second.y1_, qy2 = second.y2_;
  double pSum = 0.0, qSum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double x = in[i];
    const double p = Step(pb0, pb1, pb2, pa1, pa2, x, x1, x2, py1, py2);
    const double q = Step(qb0, qb1, qb2, qa1, qa2, x, qx1, qx2, qy1, qy2);
    x2 = x1;
    x1 = x;
    qx2 = qx1;
    qx1 = x;
    py2 = py1;
    py1 = p;
    qy2 = qy1;
    qy1 = q;
    pSum += p * p;
    qSum += q * q;
  }
  first.x1_ = x1;
  first.x2_ = x2;
  first.y1_ = py1;
  first.y2_ = py2;
  second.x1_ = qx1;
  second.x2_ = qx2;
  second.y1_ = qy1;
  second.y2_ = qy2;
  *firstSum = pSum;
  *secondSum = qSum;
}

namespace {
// Two doubles that every arithmetic operator works on lane by lane, with the rounding of scalar code.
using Lanes = double __attribute__((vector_size(16)));
}  // namespace

void CBiquad::ProcessPairStereo(CBiquad& firstLeft, CBiquad& secondLeft, CBiquad& firstRight,
                                CBiquad& secondRight, double* left, double* right, int count) {
  if (count <= 0) return;
  for (CBiquad* section : {&firstLeft, &secondLeft, &firstRight, &secondRight})
    if (!section->primed_) {
      section->x1_ = section->x2_ = section->y1_ = section->y2_ = 0.0;
      section->primed_ = true;
    }
  const CBiquad& pl = firstLeft;
  const CBiquad& pr = firstRight;
  const CBiquad& ql = secondLeft;
  const CBiquad& qr = secondRight;
  const Lanes pb0 = {pl.b0_, pr.b0_}, pb1 = {pl.b1_, pr.b1_}, pb2 = {pl.b2_, pr.b2_};
  const Lanes pa1 = {pl.a1_, pr.a1_}, pa2 = {pl.a2_, pr.a2_};
  const Lanes qb0 = {ql.b0_, qr.b0_}, qb1 = {ql.b1_, qr.b1_}, qb2 = {ql.b2_, qr.b2_};
  const Lanes qa1 = {ql.a1_, qr.a1_}, qa2 = {ql.a2_, qr.a2_};
  Lanes px1 = {pl.x1_, pr.x1_}, px2 = {pl.x2_, pr.x2_}, py1 = {pl.y1_, pr.y1_}, py2 = {pl.y2_, pr.y2_};
  Lanes qx1 = {ql.x1_, qr.x1_}, qx2 = {ql.x2_, qr.x2_}, qy1 = {ql.y1_, qr.y1_}, qy2 = {ql.y2_, qr.y2_};
  for (int i = 0; i < count; ++i) {
    const Lanes x = {left[i], right[i]};
    const Lanes p = (pb0 * x + pb1 * px1 + pb2 * px2 - pa2 * py2) - pa1 * py1;  // as Step
    px2 = px1;
    px1 = x;
    py2 = py1;
    py1 = p;
    const Lanes q = (qb0 * p + qb1 * qx1 + qb2 * qx2 - qa2 * qy2) - qa1 * qy1;
    qx2 = qx1;
    qx1 = p;
    qy2 = qy1;
    qy1 = q;
    left[i] = q[0];
    right[i] = q[1];
  }
  firstLeft.x1_ = px1[0], firstLeft.x2_ = px2[0], firstLeft.y1_ = py1[0], firstLeft.y2_ = py2[0];
  firstRight.x1_ = px1[1], firstRight.x2_ = px2[1], firstRight.y1_ = py1[1], firstRight.y2_ = py2[1];
  secondLeft.x1_ = qx1[0], secondLeft.x2_ = qx2[0], secondLeft.y1_ = qy1[0], secondLeft.y2_ = qy2[0];
  secondRight.x1_ = qx1[1], secondRight.x2_ = qx2[1], secondRight.y1_ = qy1[1], secondRight.y2_ = qy2[1];
}

void CBiquad::ProcessSumOfSquaresQuad(const std::array<CBiquad*, 4>& sections, const double* in, int count,
                                      double* sums) {
  for (CBiquad* section : sections)
    if (!section->primed_) {
      section->x1_ = section->x2_ = section->y1_ = section->y2_ = 0.0;
      section->primed_ = true;
    }
  const CBiquad &a = *sections[0], &b = *sections[1], &c = *sections[2], &d = *sections[3];
  const Lanes ab0 = {a.b0_, b.b0_}, ab1 = {a.b1_, b.b1_}, ab2 = {a.b2_, b.b2_};
  const Lanes aa1 = {a.a1_, b.a1_}, aa2 = {a.a2_, b.a2_};
  const Lanes cb0 = {c.b0_, d.b0_}, cb1 = {c.b1_, d.b1_}, cb2 = {c.b2_, d.b2_};
  const Lanes ca1 = {c.a1_, d.a1_}, ca2 = {c.a2_, d.a2_};
  Lanes ax1 = {a.x1_, b.x1_}, ax2 = {a.x2_, b.x2_}, ay1 = {a.y1_, b.y1_}, ay2 = {a.y2_, b.y2_};
  Lanes cx1 = {c.x1_, d.x1_}, cx2 = {c.x2_, d.x2_}, cy1 = {c.y1_, d.y1_}, cy2 = {c.y2_, d.y2_};
  Lanes aSum = {0.0, 0.0}, cSum = {0.0, 0.0};
  for (int i = 0; i < count; ++i) {
    const Lanes x = {in[i], in[i]};
    const Lanes ya = (ab0 * x + ab1 * ax1 + ab2 * ax2 - aa2 * ay2) - aa1 * ay1;  // as Step
    const Lanes yc = (cb0 * x + cb1 * cx1 + cb2 * cx2 - ca2 * cy2) - ca1 * cy1;
    ax2 = ax1;
    ax1 = x;
    ay2 = ay1;
    ay1 = ya;
    cx2 = cx1;
    cx1 = x;
    cy2 = cy1;
    cy1 = yc;
    aSum += ya * ya;
    cSum += yc * yc;
  }
  const Lanes* x1s[2] = {&ax1, &cx1};
  const Lanes* x2s[2] = {&ax2, &cx2};
  const Lanes* y1s[2] = {&ay1, &cy1};
  const Lanes* y2s[2] = {&ay2, &cy2};
  const Lanes* totals[2] = {&aSum, &cSum};
  for (int k = 0; k < 4; ++k) {
    CBiquad& section = *sections[k];
    section.x1_ = (*x1s[k / 2])[k % 2];
    section.x2_ = (*x2s[k / 2])[k % 2];
    section.y1_ = (*y1s[k / 2])[k % 2];
    section.y2_ = (*y2s[k / 2])[k % 2];
    sums[k] = (*totals[k / 2])[k % 2];
  }
}

double CBiquad::ProcessSumOfSquares(const double* in, int count) {
  if (!primed_) {
    x1_ = x2_ = y1_ = y2_ = 0.0;
    primed_ = true;
  }
  const double b0 = b0_, b1 = b1_, b2 = b2_, a1 = a1_, a2 = a2_;
  double x1 = x1_, x2 = x2_, y1 = y1_, y2 = y2_;
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double x = in[i];
    const double y = Step(b0, b1, b2, a1, a2, x, x1, x2, y1, y2);
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    sum += y * y;
  }
  x1_ = x1;
  x2_ = x2;
  y1_ = y1;
  y2_ = y2;
  return sum;
}

}  // namespace engine
