#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "effects_support.h"
#include "engine/channel_chain.h"

using namespace engine;
using namespace effects_test;

TEST(ChannelChain, FollowingANewRateMarksEveryStageForRedesign) {
  ProcessingParameters p;
  CChannelChain chain(p);
  chain.FollowSampleRate(48000);
  EXPECT_EQ(chain.SampleRate(), 48000);
  EXPECT_EQ(chain.Equalizer().SampleRate(), 48000);
  EXPECT_EQ(chain.Compressor().SampleRate(), 48000);
  EXPECT_EQ(chain.Limiter().SampleRate(), 48000);
  for (int ch = 0; ch < kChannels; ++ch) {
    EXPECT_TRUE(p.compressor.channel[ch].dirty);
    EXPECT_TRUE(p.limiter.channel[ch].dirty);
  }
  for (const EqualizerBand& band : p.equalizer.bands) EXPECT_TRUE(band.dirty);
}

TEST(ChannelChain, StagesRunInOrderEqualizerCompressorVolumeLimiter) {
  ProcessingParameters p;
  NeutralSettings(p);
  CChannelChain chain(p);
  chain.FollowSampleRate(44100);
  // Volume x2 on a DC level of 0.8: the limiter after it pulls 1.6 back to 1.0.
  p.volume.gain[0] = 2.0;
  CSignalBuffer buffer(4410);
  for (int i = 0; i < 3; ++i) {
    FillConstant(buffer, 4410, 0.8);
    chain.Process(buffer, 0, 1);
  }
  EXPECT_NEAR(buffer[4409], 1.0, 1e-9);

  // The compressor sees the signal before the volume: with T 76, P 86, R 2 and instant smoothers a level
  // of 10^-0.3 gets -2 dB whatever the volume is afterwards.
  p.SetCompressorChannel(76, 2.0, 0.0, 0.0, 86, 1);
  p.volume.gain[1] = 0.5;
  FillConstant(buffer, 100, std::pow(10.0, -0.3));
  chain.Process(buffer, 1, 2);
  EXPECT_NEAR(buffer[99], std::pow(10.0, -0.3) * std::pow(10.0, -0.1) * 0.5, 1e-12);
}

TEST(ChannelChain, GivesExactlyTheStagesRunOneAfterAnother) {
  auto configure = [](ProcessingParameters& p) {
    for (int band = 0; band < kBandCount; ++band) p.SetEqualizerBandGain(band, 2.0 * band - 7.0, 1);
    p.SetCompressorChannel(60, 2.5, 0.003, 0.08, 84, 1);
    p.SetLimiterChannel(88, 1, 0.0005, 0.05);
    p.volume.gain[1] = 1.7;
  };
  ProcessingParameters chained, staged;
  configure(chained);
  configure(staged);
  CChannelChain chain(chained);
  chain.FollowSampleRate(44100);
  CEqualizerBank equalizer(staged.equalizer);
  CCompressor compressor(staged.compressor);
  CVolume volume(staged.volume);
  CLimiter limiter(staged);
  equalizer.FollowSampleRate(44100);
  compressor.FollowSampleRate(44100);
  limiter.FollowSampleRate(44100);
  CSignalBuffer a(3000), b(3000);
  for (int block = 0; block < 6; ++block) {
    auto input = Noise(3000, block % 2 ? 0.9 : 0.05, 30 + block);
    for (int i = 0; i < 3000; ++i) input[i] *= std::sin(i * 0.002);
    Load(a, input);
    Load(b, input);
    if (block == 3) {  // a reset in the middle, as on a format change
      chain.ResetState();
      equalizer.Unprime();
      compressor.Reset();
      limiter.Reset();
    }
    chain.Process(a, 1, 2);
    equalizer.Run(b, 1);
    compressor.Run(b, 1);
    b.Scale(volume.EffectiveGain(1));
    limiter.Run(b, 1);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(a[i], b[i]) << "block " << block << " sample " << i;
  }
  EXPECT_EQ(chain.Compressor().Envelope(1), compressor.Envelope(1));
  EXPECT_EQ(chain.Limiter().Envelope(1), limiter.Envelope(1));
}

TEST(ChannelChain, StereoBlockGivesExactlyTheChannelByChannelResult) {
  auto configure = [](ProcessingParameters& p) {
    for (int band = 0; band < kBandCount; ++band) {
      p.SetEqualizerBandGain(band, 1.5 * band - 6.0, 0);
      p.SetEqualizerBandGain(band, 5.0 - band, 1);
    }
    p.SetCompressorChannel(60, 2.0, 0.01, 0.2, 86, 0);
    p.SetCompressorChannel(70, 4.0, 0.002, 0.1, 80, 1);
    p.SetLimiterChannel(84, 0, 0.001, 0.5);
    p.SetLimiterChannel(90, 1, 0.001, 0.3);
    p.volume.gain[0] = 0.8;
    p.volume.gain[1] = 1.2;
  };
  ProcessingParameters one, both;
  configure(one);
  configure(both);
  CChannelChain byChannel(one), stereo(both);
  byChannel.FollowSampleRate(44100);
  stereo.FollowSampleRate(44100);
  CSignalBuffer l1(2000), r1(2000), l2(2000), r2(2000);
  for (int block = 0; block < 8; ++block) {
    if (block == 2) {  // a band switched off on one channel only: the channels cannot share lanes
      one.equalizer.bands[BandIndex(3, 1)].enabled = 0;
      both.equalizer.bands[BandIndex(3, 1)].enabled = 0;
    }
    if (block == 4) {
      one.equalizer.bands[BandIndex(3, 1)].enabled = 1;
      both.equalizer.bands[BandIndex(3, 1)].enabled = 1;
      one.equalizer.bands[BandIndex(7, 0)].enabled = 0;  // an odd number of bands on both channels
      one.equalizer.bands[BandIndex(7, 1)].enabled = 0;
      both.equalizer.bands[BandIndex(7, 0)].enabled = 0;
      both.equalizer.bands[BandIndex(7, 1)].enabled = 0;
    }
    if (block == 6) {  // and a monitor reading of both sides
      one.monitor.side = both.monitor.side = kSideBoth;
      one.monitor.request = both.monitor.request = 1;
    }
    const auto left = Noise(2000, 0.9, 50 + block), right = Noise(2000, 0.4, 60 + block);
    Load(l1, left);
    Load(r1, right);
    Load(l2, left);
    Load(r2, right);
    byChannel.Process(l1, 0, 2);
    byChannel.Process(r1, 1, 2);
    stereo.ProcessStereo(l2, r2);
    for (int i = 0; i < 2000; ++i) {
      ASSERT_EQ(l1[i], l2[i]) << "block " << block << " sample " << i;
      ASSERT_EQ(r1[i], r2[i]) << "block " << block << " sample " << i;
    }
  }
  EXPECT_FALSE(both.monitor.request);
  EXPECT_EQ(one.monitor.total, both.monitor.total);
  EXPECT_EQ(one.monitor.bandLevel, both.monitor.bandLevel);
}

TEST(ChannelChain, ChannelsBeyondTheSecondPassUnchanged) {
  ProcessingParameters p;
  NeutralSettings(p);
  p.volume.gain[0] = p.volume.gain[1] = 0.5;
  CChannelChain chain(p);
  chain.FollowSampleRate(44100);
  const auto noise = Noise(256, 0.5, 70);
  for (int channel : {2, 5, -1}) {
    const auto out = ProcessSamples(chain, channel, 6, noise);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(out[i], noise[i]) << channel;
  }
}

TEST(ChannelChain, VolumeBelowTheSilenceGainMutes) {
  ProcessingParameters p;
  NeutralSettings(p);
  CChannelChain chain(p);
  chain.FollowSampleRate(44100);
  CSignalBuffer buffer(256);
  p.volume.gain[0] = 0.0105;
  FillConstant(buffer, 256, 0.5);
  chain.Process(buffer, 0, 1);
  EXPECT_NEAR(buffer[255], 0.5 * 0.0105, 1e-12);
  p.volume.gain[0] = 0.0104;
  FillConstant(buffer, 256, 0.5);
  chain.Process(buffer, 0, 1);
  EXPECT_EQ(buffer[255], 0.0);
}

TEST(ChannelChain, AfterAResetTheFirstBlockStartsEveryFilterFromZero) {
  auto configure = [](ProcessingParameters& p) {
    NeutralSettings(p);
    for (int band = 0; band < kBandCount; ++band) p.SetEqualizerBandGain(band, band % 2 ? 5.0 : -4.0, 0);
    p.SetCompressorChannel(70, 3.0, 0.002, 0.05, 85, 0);
    p.SetLimiterChannel(92, 0, 0.001, 0.1);
  };
  ProcessingParameters usedParameters, freshParameters;
  configure(usedParameters);
  configure(freshParameters);
  CChannelChain used(usedParameters), fresh(freshParameters);
  used.FollowSampleRate(44100);
  fresh.FollowSampleRate(44100);

  ProcessSamples(used, 0, 1, Noise(2048, 1.0, 8));
  used.ResetState();

  const auto probe = Noise(2048, 0.3, 9);
  const auto a = ProcessSamples(used, 0, 1, probe);
  const auto b = ProcessSamples(fresh, 0, 1, probe);
  for (int i = 0; i < 2048; ++i) ASSERT_EQ(a[i], b[i]) << i;
  EXPECT_EQ(used.Compressor().Envelope(0), fresh.Compressor().Envelope(0));
  EXPECT_EQ(used.Limiter().Envelope(0), fresh.Limiter().Envelope(0));
}

TEST(ChannelChain, ChannelsKeepSeparateState) {
  ProcessingParameters p;
  NeutralSettings(p);
  p.SetEqualizerBandGain(3, 8.0, 0);  // left only
  CChannelChain chain(p);
  chain.FollowSampleRate(44100);
  const auto noise = Noise(4096, 0.2, 10);
  const auto left = ProcessSamples(chain, 0, 2, noise);
  const auto right = ProcessSamples(chain, 1, 2, noise);
  for (int i = 0; i < 4096; ++i) EXPECT_NEAR(right[i], noise[i], 1e-12);
  double difference = 0.0;
  for (int i = 0; i < 4096; ++i) difference += std::fabs(left[i] - noise[i]);
  EXPECT_GT(difference, 1.0);
}

TEST(ChannelChain, WritersRaceTheProcessingThreadSafely) {
  // Panels write every block while blocks run; checked for races by the thread sanitizer and for
  // garbage by the finiteness of the output.
  ProcessingParameters p;
  NeutralSettings(p);
  CChannelChain chain(p);
  chain.FollowSampleRate(44100);
  std::atomic<bool> stop{false};
  std::thread panel([&] {
    int i = 0;
    while (!stop) {
      p.SetEqualizerBandGain(i % kBandCount, (i % 25) - 12.0, i % 2);
      p.SetCompressorChannel(60 + i % 30, 1.0 + i % 5, 0.001 * (i % 7), 0.01 * (i % 9), 80, i % 2);
      p.SetLimiterChannel(80 + i % 20, i % 2, 0.001, 0.2);
      p.volume.gain[i % 2] = 0.5 + 0.1 * (i % 5);
      p.amplificator = (i / 50) % 2;
      ++i;
    }
  });
  CSignalBuffer left(512), right(512);
  for (int block = 0; block < 400; ++block) {
    Load(left, Noise(512, 1.0, block));
    Load(right, Noise(512, 1.0, block + 1000));
    chain.Process(left, 0, 2);
    chain.Process(right, 1, 2);
    for (int i = 0; i < 512; ++i) ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i]));
  }
  stop = true;
  panel.join();
}
