#include <gtest/gtest.h>

#include "effects_support.h"
#include "engine/channel_chain.h"
#include "tests/support/allocation_counter.h"

using namespace engine;
using namespace effects_test;

TEST(AudioPathAllocation, BlocksAllocateNothingEvenWithTheMonitorWatching) {
  ProcessingParameters p;
  NeutralSettings(p);
  for (int band = 0; band < kBandCount; ++band)
    for (int ch = 0; ch < 2; ++ch) p.SetEqualizerBandGain(band, 3.0, ch);
  CChannelChain chain(p);
  chain.FollowSampleRate(44100);
  CSignalBuffer buffers[2] = {CSignalBuffer(4096), CSignalBuffer(4096)};
  FillSine(buffers[0], 4096, 1000, 44100, 0.7);
  FillSine(buffers[1], 4096, 400, 44100, 0.7);

  testing_support::watchedAllocations = 0;
  testing_support::watchedThread = std::this_thread::get_id();
  for (int block = 0; block < 20; ++block) {
    p.monitor.request = 1;
    p.monitor.side = block % 2 ? kSideBoth : kSideRight;
    if (block == 10) chain.FollowSampleRate(48000);  // redesigns everything, still on the audio path
    chain.ProcessBlock(buffers, block < 15 ? 2 : 1);
  }
  testing_support::watchedThread = std::thread::id{};
  EXPECT_EQ(testing_support::watchedAllocations.load(), 0u);
  EXPECT_FALSE(p.monitor.request);
}
