#include "engine/limiter.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "effects_support.h"

using namespace engine;
using namespace effects_test;

// 0.3 s of a steady 0.5 at a time: under the default limit it passes, with the amplifier on it is held to 0.1.
TEST(Limiter, AmplificatorToggledWhileRunningMovesTheLimitAtTheNextBlock) {
  ProcessingParameters p;
  CLimiter limiter(p);
  limiter.FollowSampleRate(44100);
  EXPECT_NEAR(RunConstant(limiter, 0, 13230, 0.5), 0.5, 1e-12);
  p.amplificator = 1;  // no panel writes anything
  EXPECT_NEAR(RunConstant(limiter, 0, 13230, 0.5), 0.1, 1e-9);
  p.amplificator = 0;
  EXPECT_NEAR(RunConstant(limiter, 0, 13230, 0.5), 0.5, 1e-12);
}

// A new chain's first block may find a panel writing the limits: it is played as it comes, not silenced,
// and the blocks after it are held to the limit.
TEST(Limiter, AFirstBlockThatFindsTheLockBusyIsPlayedNotSilenced) {
  ProcessingParameters p;
  p.amplificator = 1;
  CLimiter limiter(p);
  limiter.FollowSampleRate(44100);
  std::promise<void> held, written;
  std::thread panel([&] {
    p.limiter.lock.Enter();
    held.set_value();
    written.get_future().wait();
    p.limiter.lock.Leave();
  });
  held.get_future().wait();
  const double busy = RunConstant(limiter, 0, 441, 0.5);
  written.set_value();
  panel.join();
  EXPECT_EQ(busy, 0.5);
  EXPECT_NEAR(RunConstant(limiter, 0, 13230, 0.5), 0.1, 1e-9);
}

// A sine 6 dB over the limit, from the bass to the top of the band, plays with its peak at the limit once
// the attack (1 ms) has caught it: the release (0.5 s) keeps the envelope from following each cycle down.
// How it follows such sines sample by sample is envelope_reference_test.cpp's.
TEST(Limiter, HoldsSinesSixDbOverTheLimitAtTheLimit) {
  const double limit = std::pow(10.0, -6 * 0.05);  // 90 dB SPL
  for (double hz : {50.0, 1000.0, 5000.0, 15000.0}) {
    ProcessingParameters p;
    CLimiter limiter(p);
    limiter.FollowSampleRate(44100);
    p.SetLimiterChannel(90, 0, 0.001, 0.5);
    const auto out = RunSamples(limiter, 0, Sine(44100, hz, 44100, 2.0 * limit));
    double peak = 0.0;
    for (size_t i = 22050; i < out.size(); ++i) peak = std::max(peak, std::fabs(out[i]));
    EXPECT_NEAR(20 * std::log10(peak / limit), 0.0, 0.5) << hz << " Hz";
  }
}
