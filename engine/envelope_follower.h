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
  bool rising = false;  // the attack smoother ran last; the other one is held at the envelope

  double Next(double magnitude) {
    double level;
    rising = magnitude > envelope;
    if (rising) {
      level = attack.Process(magnitude);
      release.HoldAt(level);
    } else {
      level = release.Process(magnitude);
      attack.HoldAt(level);
    }
    envelope = level;
    return level;
  }

  // Smoother cut-off for a time constant: the integer part of 1 / t, with t at least `minimumTime` (a time
  // that is not a number counts as the minimum too), and never below 1 Hz: a 0 Hz smoother (a time above
  // 1 s) would hold its envelope for ever.
  static double CutoffFor(double seconds, double minimumTime) {
    if (!(seconds > minimumTime)) seconds = minimumTime;
    const double cutoff = std::trunc(1.0 / seconds);
    return cutoff >= 1.0 ? cutoff : 1.0;
  }

  // Both smoothers, low-pass of quality 0.5, for attack and release times in seconds, each time at least
  // its minimum (see CutoffFor).
  void Design(int sampleRate, double attackTime, double minimumAttack, double releaseTime, double minimumRelease) {
    attack.DesignLowPass(sampleRate, CutoffFor(attackTime, minimumAttack), 0.5);
    release.DesignLowPass(sampleRate, CutoffFor(releaseTime, minimumRelease), 0.5);
  }

  void Reset() {
    attack.Reset();
    release.Reset();
    envelope = 0.0;
  }
};

// EnvelopeFollower::Next over a block, with the state in registers: the smoother that is not running is
// only ever held at the envelope, so one history is kept and reset to the envelope when the direction
// changes. The arithmetic is exactly Next's. Store() writes the state back.
class EnvelopeCursor {
 public:
  explicit EnvelopeCursor(EnvelopeFollower& follower)
      : follower_(follower),
        ab0_(follower.attack.B0()),
        ab1_(follower.attack.B1()),
        ab2_(follower.attack.B2()),
        aa1_(follower.attack.A1()),
        aa2_(follower.attack.A2()),
        rb0_(follower.release.B0()),
        rb1_(follower.release.B1()),
        rb2_(follower.release.B2()),
        ra1_(follower.release.A1()),
        ra2_(follower.release.A2()),
        rising_(follower.rising) {
    // Unprimed smoothers (a new follower, or one reset for a new format) start from a zero history.
    const CBiquad& last = rising_ ? follower.attack : follower.release;
    if (last.Primed()) {
      x1_ = last.X1();
      x2_ = last.X2();
      y1_ = last.Y1();
      y2_ = last.Y2();
    }
  }

  double Next(double magnitude) {
    // Branches rather than selects: predicted, they keep the comparison off the recursion's path.
    double y;
    if (magnitude > y1_) {
      if (!rising_) x1_ = x2_ = y2_ = y1_;  // the attack smoother was held at the envelope
      rising_ = true;
      y = CBiquad::Step(ab0_, ab1_, ab2_, aa1_, aa2_, magnitude, x1_, x2_, y1_, y2_);
    } else {
      if (rising_) x1_ = x2_ = y2_ = y1_;  // the release smoother was held at the envelope
      rising_ = false;
      y = CBiquad::Step(rb0_, rb1_, rb2_, ra1_, ra2_, magnitude, x1_, x2_, y1_, y2_);
    }
    x2_ = x1_;
    x1_ = magnitude;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

  // Writes the state back; returns false when it had become non-finite (a non-finite input), in which
  // case the follower restarts from silence instead of holding NaN for good.
  bool Store() {
    if (!std::isfinite(x1_ + x2_ + y1_ + y2_)) {
      follower_.Reset();
      return false;
    }
    CBiquad& last = rising_ ? follower_.attack : follower_.release;
    CBiquad& other = rising_ ? follower_.release : follower_.attack;
    last.SetHistory(x1_, x2_, y1_, y2_);
    other.HoldAt(y1_);
    follower_.envelope = y1_;
    follower_.rising = rising_;
    return true;
  }

 private:
  EnvelopeFollower& follower_;
  const double ab0_, ab1_, ab2_, aa1_, aa2_;
  const double rb0_, rb1_, rb2_, ra1_, ra2_;
  bool rising_;
  double x1_ = 0.0, x2_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};

}  // namespace engine
