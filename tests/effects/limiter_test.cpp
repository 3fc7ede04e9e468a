#include "engine/limiter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"

using namespace engine;
using namespace effects_test;

namespace {

struct TestLimiter {
  ProcessingParameters p;
  CLimiter limiter{p};
  TestLimiter() { limiter.FollowSampleRate(44100); }
  // Runs `seconds` of a steady level through channel 0 and returns the last output sample.
  double Steady(double level, double seconds) { return RunConstant(limiter, 0, int(seconds * 44100), level); }
};

}  // namespace

TEST(Limiter, AmplificatorToggledWhileRunningMovesTheLimitAtTheNextBlock) {
  TestLimiter t;
  EXPECT_NEAR(t.Steady(0.5, 0.3), 0.5, 1e-12);
  t.p.amplificator = 1;  // no panel writes anything
  EXPECT_NEAR(t.Steady(0.5, 0.3), 0.1, 1e-9);
  t.p.amplificator = 0;
  EXPECT_NEAR(t.Steady(0.5, 0.3), 0.5, 1e-12);
}

// A sine 6 dB over the limit, from the bass to the top of the band, plays with its peak at the limit once
// the attack (1 ms) has caught it: the release (0.5 s) keeps the envelope from following each cycle down.
TEST(Limiter, HoldsSinesSixDbOverTheLimitAtTheLimit) {
  for (double hz : {50.0, 1000.0, 5000.0, 15000.0}) {
    TestLimiter t;
    t.p.SetLimiterChannel(90, 0, 0.001, 0.5);
    const double limit = std::pow(10.0, -6 * 0.05);
    const auto out = RunSamples(t.limiter, 0, Sine(44100, hz, 44100, 2.0 * limit));
    const double peakDb = 20 * std::log10(Peak(out.data() + 22050, 22050) / limit);
    EXPECT_NEAR(peakDb, 0.0, 0.5) << hz << " Hz";
    std::printf("limiter: %g Hz sine 6 dB over the limit peaks at %+.3f dB\n", hz, peakDb);
  }
}
