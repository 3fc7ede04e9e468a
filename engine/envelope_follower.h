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
