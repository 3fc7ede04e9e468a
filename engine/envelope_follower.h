#pragma once
#include <cmath>

#include "engine/biquad.h"

namespace engine {

// The level detector shared by the compressor and the limiter: a low-pass smoother for rising levels and
// another for falling or steady ones. Whichever runs hands its result to the other as a steady history,
// so a change of direction continues from the current envelope without a step.
struct EnvelopeFollower {
  CBiquad attack;
  CBiquad release;
  double envelope = 0.0;

  double Next(double magnitude) {
    double level;
    if (magnitude > envelope) {
      level = attack.Process(magnitude);
      release.HoldAt(level);
    } else {
      level = release.Process(magnitude);
      attack.HoldAt(level);
    }
    envelope = level;
    return level;
  }

  // Next over a block: for each sample, envelope = Next(|samples[i]|) and then apply(samples[i], envelope)
  // may rewrite the sample. The same arithmetic as Next, but the smoother that is not running is only ever
  // "held at the envelope", so it is not stored per sample: one history is kept in registers and reset to
  // the envelope when the direction changes.
  template <typename Apply>
  void Follow(double* samples, int count, Apply&& apply) {
    if (count <= 0) return;
    // The first sample may find unprimed smoothers; the general step handles that and leaves both primed.
    bool rising = std::fabs(samples[0]) > envelope;
    apply(samples[0], Next(std::fabs(samples[0])));
    const CBiquad& first = rising ? attack : release;
    const double ab0 = attack.B0(), ab1 = attack.B1(), ab2 = attack.B2(), aa1 = attack.A1(), aa2 = attack.A2();
    const double rb0 = release.B0(), rb1 = release.B1(), rb2 = release.B2(), ra1 = release.A1(), ra2 = release.A2();
    double x1 = first.X1(), x2 = first.X2(), y1 = first.Y1(), y2 = first.Y2();
    for (int i = 1; i < count; ++i) {
      const double magnitude = std::fabs(samples[i]);
      // Branches rather than selects: predicted, they keep the comparison off the recursion's path.
      double y;
      if (magnitude > y1) {
        if (!rising) x1 = x2 = y2 = y1;  // the attack smoother was held at the envelope
        rising = true;
        y = CBiquad::Step(ab0, ab1, ab2, aa1, aa2, magnitude, x1, x2, y1, y2);
      } else {
        if (rising) x1 = x2 = y2 = y1;  // the release smoother was held at the envelope
        rising = false;
        y = CBiquad::Step(rb0, rb1, rb2, ra1, ra2, magnitude, x1, x2, y1, y2);
      }
      x2 = x1;
      x1 = magnitude;
      y2 = y1;
      y1 = y;
      apply(samples[i], y);
    }
    CBiquad& last = rising ? attack : release;
    CBiquad& other = rising ? release : attack;
    last.SetHistory(x1, x2, y1, y2);
    other.HoldAt(y1);
    envelope = y1;
  }

  // Smoother cut-off for a time constant: the integer part of 1 / t, with t at least `minimumTime`.
  static double CutoffFor(double seconds, double minimumTime) {
    if (seconds <= minimumTime) seconds = minimumTime;
    return std::trunc(1.0 / seconds);
  }

  void Reset() {
    attack.Unprime();
    release.Unprime();
    envelope = 0.0;
  }
};

}  // namespace engine
