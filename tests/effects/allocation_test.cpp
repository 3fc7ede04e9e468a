// Counts heap allocations made by the test's own thread while it is watching, to prove that the audio
// path allocates nothing once its buffers exist.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "effects_support.h"
#include "engine/channel_chain.h"

namespace {
thread_local bool watching = false;
thread_local long allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (watching) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace engine;
using namespace effects_test;

TEST(AudioPathAllocation, BlocksAllocateNothingEvenWithTheMonitorWatching) {
  ProcessingParameters p;
  NeutralSettings(p);
  for (int band = 0; band < kBandCount; ++band)
    for (int ch = 0; ch < 2; ++ch) p.SetEqualizerBandGain(band, 3.0, ch);
  CChannelChain chain(p);
  chain.FollowSampleRate(44100);
  CSignalBuffer left(4096), right(4096);
  FillSine(left, 4096, 1000, 44100, 0.7);
  FillSine(right, 4096, 400, 44100, 0.7);

  watching = true;
  for (int block = 0; block < 20; ++block) {
    p.monitor.request = 1;
    p.monitor.side = block % 2 ? kSideBoth : kSideRight;
    if (block == 10) chain.FollowSampleRate(48000);  // redesigns everything, still on the audio path
    chain.Process(left, 0, 2);
    chain.Process(right, 1, 2);
  }
  watching = false;
  EXPECT_EQ(allocations, 0);
  EXPECT_FALSE(p.monitor.request);
}
