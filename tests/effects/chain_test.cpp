#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "effects_support.h"
#include "engine/channel_chain.h"
#include "engine/level_analysis.h"

using namespace engine;
using namespace effects_test;

namespace {

void Busy(ProcessingParameters& p) {
  for (int band = 0; band < kBandCount; ++band) {
    p.SetEqualizerBandGain(band, 1.5 * band - 6.0, 0);
    p.SetEqualizerBandGain(band, 5.0 - band, 1);
  }
  p.SetCompressorChannel(40, 2.5, 0.003, 0.08, 66, 0);
  p.SetCompressorChannel(30, 4.0, 0.002, 0.1, 60, 1);
  p.SetLimiterChannel(88, 0, 0.0005, 0.05);
  p.SetLimiterChannel(90, 1, 0.001, 0.3);
  p.volume.gain[0] = 1.7;
  p.volume.gain[1] = 1.2;
}

}  // namespace

TEST(ChannelChain, StagesRunInOrderEqualizerCompressorVolumeLimiter) {
  TestChain c;
  // Volume x2 on a DC level of 0.8: the limiter after it pulls 1.6 back to 1.0.
  c.p.volume.gain[0] = 2.0;
  for (int i = 0; i < 3; ++i) c.Block(std::vector<double>(4410, 0.8), std::vector<double>(4410, 0.0));
  EXPECT_NEAR(c.buffers[0][4409], 1.0, 1e-9);

  // The compressor sees the signal before the volume: with T 60 (-1.8), P 70 (-1.3) and R 2 a steady
  // level of 10^-1.1 comes out at -1.3 + 0.2 / 2 = -1.2, 2 dB down, whatever the volume is afterwards.
  c.p.SetCompressorChannel(60, 2.0, 0.0, 0.01, 70, 1);
  c.p.volume.gain[1] = 0.5;
  const double level = std::pow(10.0, -1.1);
  c.Block(std::vector<double>(100, 0.0), std::vector<double>(100, level));
  EXPECT_NEAR(c.buffers[1][99], level * std::pow(10.0, -0.1) * 0.5, 1e-12);
}

// The product's path (both channels of a block together) gives exactly what the chain gives channel by
// channel, through bands switched off on one side only, a non-finite sample on one side and a monitor reading.
TEST(ChannelChain, StereoBlocksGiveExactlyWhatTheChannelsGiveOneByOne) {
  TestChain c(Busy), single(Busy);
  for (int block = 0; block < 8; ++block) {
    for (ProcessingParameters* p : {&c.p, &single.p}) {
      if (block == 2) p->equalizer.bands[BandIndex(3, 1)].enabled = 0;
      if (block == 4) {
        p->equalizer.bands[BandIndex(3, 1)].enabled = 1;
        for (int ch = 0; ch < 2; ++ch) p->equalizer.bands[BandIndex(7, ch)].enabled = 0;  // an odd count of bands
      }
    }
    if (block == 6) PostMonitorRequest(c.p, MonitorSide::kBoth);
    auto left = Noise(3000, block % 2 ? 0.9 : 0.05, 30 + block), right = Noise(3000, 0.4, 60 + block);
    if (block == 5) left[1700] = std::numeric_limits<double>::quiet_NaN();  // the left side's stages restart
    c.Block(left, right);
    for (int ch = 0; ch < 2; ++ch) {
      Load(single.buffers[ch], ch == 0 ? left : right);
      single.chain.RunChannel(single.buffers[ch], ch, 2);
      for (int i = 0; i < 3000; ++i) ASSERT_EQ(c.buffers[ch][i], single.buffers[ch][i]) << block << " " << ch;
    }
  }
  EXPECT_FALSE(c.p.monitor.request) << "the reading was answered";
}

// Streams of more than two channels are refused before the chain; a mono block leaves the second buffer alone.
TEST(ChannelChain, MonoBlocksLeaveTheSecondBufferAlone) {
  TestChain c;
  c.p.volume.gain[0] = c.p.volume.gain[1] = 0.5;
  const auto noise = Noise(256, 0.5, 70);
  Load(c.buffers[0], noise);
  Load(c.buffers[1], noise);
  c.chain.Run(c.buffers, 1);
  EXPECT_NEAR(c.buffers[0][100], noise[100] * 0.5, 1e-9);
  EXPECT_EQ(c.buffers[1][100], noise[100]);
}

// A damaged configuration or a typo on the command line reaches the engine only within the panels'
// ranges: a "+1000 dB" band is a +12 dB band, not a filter that blows up.
TEST(ParameterWriters, HoldEveryValueToThePanelsRanges) {
  TestChain c;
  c.p.SetEqualizerBandGain(4, 1000.0, 0);
  c.p.SetEqualizerBandGain(0, -std::numeric_limits<double>::infinity(), 0);
  c.p.SetEqualizerBandGain(7, std::nan(""), 0);
  EXPECT_EQ(c.p.equalizer.Gain(BandIndex(4, 0)), 12.0);
  EXPECT_EQ(c.p.equalizer.Gain(BandIndex(0, 0)), -36.0);
  EXPECT_EQ(c.p.equalizer.Gain(BandIndex(7, 0)), 0.0);
  for (int block = 0; block < 5; ++block) {
    const auto tone = Sine(4410, 1000, 44100, 0.01, block * 4410LL);
    c.Block(tone, tone);
  }
  EXPECT_NEAR(20 * std::log10(*std::max_element(c.buffers[0].Data(), c.buffers[0].Data() + 4410) / 0.01), 12.0, 0.3);

  const CompressorChannel& compressor = c.p.compressor.channel[1];
  const SmootherTimes& times = c.p.compressor.times[1];
  c.p.SetCompressorChannel(-40, -2.0, 7.0, std::nan(""), 500, 1);
  EXPECT_DOUBLE_EQ(compressor.threshold, (0 - 96) * 0.05);
  EXPECT_DOUBLE_EQ(compressor.center, (70 - 96) * 0.05);
  EXPECT_EQ(std::tuple(compressor.rate.load(), times.attack, times.release), std::tuple(1.0, 0.1, 0.01));
  c.p.SetCompressorChannel(60, 1e9, 0.0, 5.0, 40, 1);
  EXPECT_DOUBLE_EQ(compressor.center, (50 - 96) * 0.05);
  EXPECT_EQ(std::tuple(compressor.rate.load(), times.release), std::tuple(30.0, 1.0));
  const LimiterValues& limiter = c.p.limiter.values[0];
  c.p.SetLimiterChannel(300, 0, -1.0, 60.0);
  EXPECT_EQ(std::tuple(limiter.level, limiter.attack, limiter.release), std::tuple(120, 0.0, 1.0));
  c.p.SetLimiterChannel(0, 0, 0.5, 0.0);
  EXPECT_EQ(std::tuple(limiter.level, limiter.attack, limiter.release), std::tuple(48, 0.02, 0.01));
}

// A non-finite sample (a damaged float file) must not leave NaN in any stage until the next format
// change: the stages restart from silence at the end of that block, which itself plays as silence.
TEST(ChannelChain, NonFiniteInputCostsOneBlockNotTheStream) {
  TestChain used(Busy), fresh(Busy);
  auto poisoned = Noise(1024, 0.5, 3);
  poisoned[100] = std::nan("");
  poisoned[200] = std::numeric_limits<double>::infinity();
  used.Block(poisoned, poisoned);
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 1024; ++i) ASSERT_TRUE(std::isfinite(used.buffers[ch][i])) << ch << " " << i;
  const auto probe = Noise(2048, 0.3, 9);
  EXPECT_EQ(used.Block(probe, probe), fresh.Block(probe, probe));
}

namespace {

// The largest step between neighbouring samples of a channel, carried across blocks by `last`.
double LargestStep(const CSignalBuffer& buffer, double& last) {
  double largest = 0.0;
  for (int i = 0; i < buffer.Count(); ++i) largest = std::max(largest, std::fabs(buffer[i] - last)), last = buffer[i];
  return largest;
}

}  // namespace

// Bypassed, the chain plays its input sample for sample (within one 16-bit step) while the monitor still
// reads; the stages ran on meanwhile, so switching back gives exactly what a chain never bypassed gives.
TEST(ChannelChain, BypassPlaysTheInputUntouchedAndTheStagesRunOn) {
  TestChain c(Busy, 48000), never(Busy, 48000);
  c.p.bypass = 1;
  for (int block = 0; block < 12; ++block) {
    const auto left = Sine(480, 1000, 48000, 0.6, block * 480LL), right = Noise(480, 0.7, 80 + block);
    if (block == 6) PostMonitorRequest(c.p, MonitorSide::kBoth);
    c.Block(left, right);
    never.Block(left, right);
    if (block < 2) continue;  // the crossfade takes 960 samples
    for (int i = 0; i < 480; ++i) {
      ASSERT_NEAR(c.left[i], left[i], 1.0 / 32768) << block << " " << i;
      ASSERT_NEAR(c.right[i], right[i], 1.0 / 32768) << block << " " << i;
    }
  }
  EXPECT_FALSE(c.p.monitor.request) << "the monitor's reading was answered while bypassed";
  EXPECT_GT(std::fabs(never.left[100] - c.left[100]), 0.01) << "the settings change the sound";
  c.p.bypass = 0;
  for (int block = 0; block < 3; ++block) {
    const auto noise = Noise(480, 0.5, 90 + block);
    EXPECT_EQ(c.Block(noise, noise) == never.Block(noise, noise), block == 2) << block;
  }
}

// Bypass switched on and off 20 times while a tone plays, in the 64-frame blocks of a small graph cycle and
// sometimes before the previous crossfade ended: no step between samples beyond what the tone and its
// processed self make on their own. Switched without a crossfade, the step is the gap between the two.
TEST(ChannelChain, SwitchingBypassNeverSteps) {
  constexpr int kBlock = 64, kRate = 48000;
  TestChain c(Busy, kRate), steady(Busy, kRate);
  double last[2] = {}, steadyLast[2] = {}, ownStep = 0.0, largest = 0.0;
  long long position = 0;
  auto play = [&](TestChain& chain, double* lastSample, int blocks) {
    double step = 0.0;
    for (int b = 0; b < blocks; ++b, position += kBlock) {
      const auto tone = Sine(kBlock, 997, kRate, 0.5, position);
      chain.Block(tone, tone);
      for (int ch = 0; ch < 2; ++ch) step = std::max(step, LargestStep(chain.buffers[ch], lastSample[ch]));
    }
    return step;
  };
  const double inputStep = 2 * 0.5 * std::sin(kPi * 997 / kRate);
  play(steady, steadyLast, 200);
  ownStep = std::max(inputStep, play(steady, steadyLast, 400));  // the processed tone's own, once settled
  play(c, last, 200);
  for (int toggle = 0; toggle < 40; ++toggle) {
    c.p.bypass = toggle % 2 == 0;
    largest = std::max(largest, play(c, last, toggle % 3 == 0 ? 10 : 40));
  }
  EXPECT_LE(largest, ownStep * 1.05) << "tone's own step " << inputStep << ", processed " << ownStep;
}
