#include "engine/level_analysis.h"

#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"
#include "engine/channel_chain.h"

using namespace engine;
using namespace effects_test;

namespace {

struct Reading {
  int answered = 0;
  double bands[kBandCount] = {};
  double total = 0.0;
};

Reading Take(ProcessingParameters& p) {
  Reading r;
  r.answered = TakeMonitorReply(p, r.bands, &r.total);
  return r;
}

}  // namespace

// A full-scale sine reads 93 dB in its band (its mean power, -3 dB) and a 96 dB peak; the amplifier moves
// the scale up by 20 dB. Right and Both on a mono stream read the only channel at once. After a change of
// rate from 44.1 kHz the bands are designed for the new one, and the top two read only where the rate
// carries them: 6300 Hz above 12600 Hz, 16000 Hz above 32000 Hz (at, below and above each threshold).
TEST(LevelAnalysis, SineReadsItsMeanPowerInItsBandAndItsPeakOnEverySideAtEveryRate) {
  const struct {
    MonitorSide side;
    int channels, amplificator;
    double left, read;  // the left channel's amplitude, and that of the channel read (the right one: 0.1)
    int rate;
  } cases[] = {{MonitorSide::kLeft, 2, 0, 1.0, 1.0, 44100},  {MonitorSide::kLeft, 2, 1, 1.0, 1.0, 44100},
               {MonitorSide::kRight, 2, 0, 1.0, 0.1, 44100}, {MonitorSide::kRight, 1, 0, 0.5, 0.5, 44100},
               {MonitorSide::kBoth, 1, 0, 0.5, 0.5, 44100},  {MonitorSide::kLeft, 1, 0, 1.0, 1.0, 11025},
               {MonitorSide::kLeft, 1, 0, 1.0, 1.0, 12600},  {MonitorSide::kLeft, 1, 0, 1.0, 1.0, 16000},
               {MonitorSide::kLeft, 1, 0, 1.0, 1.0, 32000},  {MonitorSide::kLeft, 1, 0, 1.0, 1.0, 48000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "side " << int(c.side) << ", " << c.channels << " channels, " << c.rate
                                    << " Hz");
    TestChain s;
    s.p.amplificator = c.amplificator;
    // The limiter at the full scale, so the tone is not touched.
    for (int ch = 0; ch < 2; ++ch) s.p.SetLimiterChannel(c.amplificator ? 116 : 96, ch, 0.001, 0.5);
    for (int rate : {44100, c.rate}) {
      s.chain.FollowSampleRate(rate);
      Load(s.left, Sine(rate / 10, 1000, rate, c.left));
      Load(s.right, Sine(rate / 10, 1000, rate, 0.1));
      PostMonitorRequest(s.p, c.side);
      s.Channels(c.channels);
    }
    const Reading r = Take(s.p);
    const double scale = 20 * std::log10(c.read) + 20 * c.amplificator;
    ASSERT_EQ(r.answered, 1);
    EXPECT_NEAR(r.bands[4], 93.0 + scale, 0.3);
    EXPECT_NEAR(r.total, 96.0 + scale, 0.01);
    // The neighbouring bands see far less of the tone.
    EXPECT_LT(r.bands[3], 80.0 + scale);
    EXPECT_LT(r.bands[5], 80.0 + scale);
    EXPECT_EQ(r.bands[6] != 0.0, c.rate > 12600);
    EXPECT_EQ(r.bands[7] != 0.0, c.rate > 32000);
    EXPECT_FALSE(s.p.monitor.request);
    EXPECT_FALSE(s.p.monitor.secondPending);
  }
}

// Both waits for the second channel and averages the two. A mono block arriving while the second
// channel is pending must not leave the loud half behind to be averaged with the next stereo block. While
// the monitor copies a previous answer the audio path does not wait: it answers at the next block.
TEST(LevelAnalysisSides, BothAveragesTheTwoChannelsAMonoBlockEndsAHalfReadingAndABusyMonitorWaitsABlock) {
  TestChain s;
  PostMonitorRequest(s.p, MonitorSide::kBoth);
  Load(s.left, Sine(4410, 1000, 44100, 1.0));
  s.chain.RunChannel(s.left, 0, 2);
  Load(s.left, Sine(4410, 1000, 44100, 0.1));
  s.Channels(1);
  Reading r = Take(s.p);
  ASSERT_EQ(r.answered, 1);
  EXPECT_NEAR(r.total, 76.0, 0.01);
  PostMonitorRequest(s.p, MonitorSide::kBoth);
  Load(s.left, Sine(4410, 1000, 44100, 0.5));
  Load(s.right, Sine(4410, 1000, 44100, 0.1));
  s.chain.RunChannel(s.left, 0, 2);
  EXPECT_TRUE(s.p.monitor.secondPending);
  EXPECT_EQ(Take(s.p).answered, 0) << "the left channel alone does not answer";
  s.chain.RunChannel(s.right, 1, 2);
  r = Take(s.p);
  ASSERT_EQ(r.answered, 1);
  EXPECT_NEAR(r.bands[4], 80.0, 0.3);  // mean of 87 and 73 in dB (83 with the stale loud half)
  EXPECT_NEAR(r.total, 90.0, 0.03);    // the larger peak
  EXPECT_FALSE(s.p.monitor.secondPending);
  // Results being read delay the answer to the next block.
  Load(s.left, Sine(4410, 1000, 44100, 1.0));
  Load(s.right, Sine(4410, 1000, 44100, 0.5));
  PostMonitorRequest(s.p, MonitorSide::kBoth);
  {
    LockHolder monitor(s.p.monitor.resultsLock);  // the monitor copying a previous answer
    s.Channels(2);                                // the audio path does not wait for the monitor
    EXPECT_TRUE(s.p.monitor.request);
    EXPECT_FALSE(s.p.monitor.secondPending);  // the half reading is dropped, the next block starts over
    EXPECT_FALSE(s.p.monitor.reply.IsSet());
  }
  s.Channels(2);
  r = Take(s.p);
  ASSERT_EQ(r.answered, 1);
  EXPECT_NEAR(r.total, 96.0, 0.01);
  EXPECT_NEAR(r.bands[4], 93.0 - 3.0, 0.3);  // mean of 93 and 87
}
