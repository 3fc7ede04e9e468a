#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "effects_support.h"
#include "engine/limiter.h"

using namespace engine;
using namespace effects_test;

namespace {

double LimitAfterOneBlock(ProcessingParameters& p, CLimiter& limiter, int channel = 0) {
  CSignalBuffer buffer(8);
  FillConstant(buffer, 8, 0.0);
  limiter.Run(buffer, channel);
  return p.limiter.channel[channel].limit;
}

// Runs `seconds` of a steady level through the limiter and returns the last output sample.
double SteadyOutput(CLimiter& limiter, double level, double seconds, int rate = 44100, int channel = 0) {
  const int count = 441;
  CSignalBuffer buffer(count);
  double last = 0.0;
  for (int done = 0; done < int(seconds * rate); done += count) {
    FillConstant(buffer, count, level);
    limiter.Run(buffer, channel);
    last = buffer[count - 1];
  }
  return last;
}

}  // namespace

TEST(LimiterLevel, LimitFollowsLevelAndFullScale) {
  ProcessingParameters p;
  CLimiter limiter(p);
  limiter.FollowSampleRate(44100);
  EXPECT_DOUBLE_EQ(LimitAfterOneBlock(p, limiter), 1.0);  // the defaults: 96 dB SPL

  p.SetLimiterChannel(90, 0, 0.001, 0.5);
  EXPECT_NEAR(LimitAfterOneBlock(p, limiter), 0.501187, 1e-6);

  p.SetLimiterChannel(96, 0, 0.001, 0.5);
  p.amplificator = 1;
  EXPECT_NEAR(LimitAfterOneBlock(p, limiter), 0.1, 1e-15);
  EXPECT_EQ(p.limiter.channel[0].amplificatorSeen, 1);
  EXPECT_FALSE(p.limiter.channel[0].dirty);
}

TEST(LimiterLevel, SteadyEnvelopeAtTwiceTheLimitComesOutAtHalfAmplitude) {
  ProcessingParameters p;
  CLimiter limiter(p);
  p.SetLimiterChannel(90, 1, 0.001, 0.5);
  limiter.FollowSampleRate(44100);
  const double limit = std::pow(10.0, -6 * 0.05);
  const double out = SteadyOutput(limiter, 2.0 * limit, 0.5, 44100, 1);
  EXPECT_NEAR(limiter.Envelope(1), 2.0 * limit, 1e-9);
  EXPECT_NEAR(out, limit, 1e-9);
  // Below the limit nothing changes.
  ProcessingParameters q;
  CLimiter quiet(q);
  quiet.FollowSampleRate(44100);
  EXPECT_EQ(SteadyOutput(quiet, 0.9, 0.2), 0.9);
}

TEST(LimiterLevel, AmplificatorToggledWhileRunningMovesTheLimitAtTheNextBlock) {
  ProcessingParameters p;
  CLimiter limiter(p);
  limiter.FollowSampleRate(44100);
  EXPECT_NEAR(SteadyOutput(limiter, 0.5, 0.3), 0.5, 1e-12);
  p.amplificator = 1;  // no panel writes anything
  EXPECT_NEAR(SteadyOutput(limiter, 0.5, 0.3), 0.1, 1e-9);
  EXPECT_NEAR(p.limiter.channel[0].limit, 0.1, 1e-15);
  p.amplificator = 0;
  EXPECT_NEAR(SteadyOutput(limiter, 0.5, 0.3), 0.5, 1e-12);
  EXPECT_DOUBLE_EQ(p.limiter.channel[0].limit, 1.0);
}

TEST(LimiterLevel, BusyLockKeepsTheOldLimitAndTheChannelDirty) {
  ProcessingParameters p;
  CLimiter limiter(p);
  limiter.FollowSampleRate(44100);
  EXPECT_DOUBLE_EQ(LimitAfterOneBlock(p, limiter), 1.0);
  p.SetLimiterChannel(80, 0, 0.001, 0.5);
  p.amplificator = 1;
  std::atomic<bool> held{false}, release{false};
  std::thread panel([&] {
    p.limiter.lock.Enter();
    held = true;
    while (!release) std::this_thread::yield();
    p.limiter.lock.Leave();
  });
  while (!held) std::this_thread::yield();
  EXPECT_DOUBLE_EQ(LimitAfterOneBlock(p, limiter), 1.0);
  EXPECT_TRUE(p.limiter.channel[0].dirty);
  release = true;
  panel.join();
  EXPECT_NEAR(LimitAfterOneBlock(p, limiter), std::pow(10.0, (80 - 116) * 0.05), 1e-15);
}

TEST(LimiterSmoothers, ShortestTimesAreTenMicrosecondsAndOneMillisecond) {
  ProcessingParameters p;
  CLimiter limiter(p);
  p.SetLimiterChannel(96, 0, 0.0, 0.0);
  p.SetLimiterChannel(96, 1, 0.002, 0.25);
  limiter.FollowSampleRate(44100);
  LimitAfterOneBlock(p, limiter, 0);
  LimitAfterOneBlock(p, limiter, 1);
  EXPECT_EQ(limiter.Follower(0).attack.frequency, std::trunc(1.0 / 0.00001));  // 99999: 1/1e-5 rounds below
  EXPECT_TRUE(limiter.Follower(0).attack.IsIdentity());
  EXPECT_EQ(limiter.Follower(0).release.frequency, 1000.0);
  EXPECT_FALSE(limiter.Follower(0).release.IsIdentity());
  EXPECT_EQ(limiter.Follower(1).attack.frequency, 500.0);
  EXPECT_EQ(limiter.Follower(1).release.frequency, 4.0);
}

TEST(LimiterSmoothers, PeaksArePulledBackWithinAboutAMillisecond) {
  ProcessingParameters p;
  CLimiter limiter(p);
  limiter.FollowSampleRate(44100);
  CSignalBuffer buffer(441);
  FillConstant(buffer, 441, 2.0);  // a step to twice full scale
  limiter.Run(buffer, 0);
  EXPECT_GT(buffer[0], 1.5);                 // the attack is not instant
  EXPECT_NEAR(buffer[440], 1.0, 1e-3);       // but 10 ms later the output sits at the limit
  EXPECT_NEAR(buffer[132], 1.0, 0.05);       // and 3 ms later it is close
}

TEST(LimiterSmoothers, ResetStartsFromZero) {
  ProcessingParameters p;
  CLimiter limiter(p);
  limiter.FollowSampleRate(44100);
  SteadyOutput(limiter, 1.5, 0.05);
  EXPECT_GT(limiter.Envelope(0), 1.0);
  limiter.Reset();
  EXPECT_EQ(limiter.Envelope(0), 0.0);
  EXPECT_FALSE(limiter.Follower(0).attack.Primed());
  EXPECT_FALSE(limiter.Follower(0).release.Primed());
  limiter.FollowSampleRate(22050);
  EXPECT_TRUE(p.limiter.channel[0].dirty);
  EXPECT_TRUE(p.limiter.channel[1].dirty);
}
