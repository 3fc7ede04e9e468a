#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"
#include "engine/limiter.h"

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

TEST(Limiter, SteadyEnvelopeAtTwiceTheLimitComesOutAtHalfAmplitude) {
  TestLimiter t;
  t.p.SetLimiterChannel(90, 0, 0.001, 0.5);
  const double limit = std::pow(10.0, -6 * 0.05);
  EXPECT_NEAR(t.Steady(2.0 * limit, 0.5), limit, 1e-9);
  EXPECT_NEAR(t.limiter.Envelope(0), 2.0 * limit, 1e-9);
  TestLimiter quiet;
  EXPECT_EQ(quiet.Steady(0.9, 0.2), 0.9) << "below the limit nothing changes";
}

TEST(Limiter, AmplificatorToggledWhileRunningMovesTheLimitAtTheNextBlock) {
  TestLimiter t;
  EXPECT_NEAR(t.Steady(0.5, 0.3), 0.5, 1e-12);
  t.p.amplificator = 1;  // no panel writes anything
  EXPECT_NEAR(t.Steady(0.5, 0.3), 0.1, 1e-9);
  t.p.amplificator = 0;
  EXPECT_NEAR(t.Steady(0.5, 0.3), 0.5, 1e-12);
}

TEST(Limiter, PeaksArePulledBackWithinAboutAMillisecond) {
  TestLimiter t;
  CSignalBuffer buffer(441);
  Load(buffer, std::vector<double>(441, 2.0));  // a step to twice full scale
  t.limiter.Run(buffer, 0);
  EXPECT_GT(buffer[0], 1.5);            // the attack is not instant
  EXPECT_NEAR(buffer[132], 1.0, 0.05);  // 3 ms later it is close
  EXPECT_NEAR(buffer[440], 1.0, 1e-3);  // and 10 ms later the output sits at the limit
}
