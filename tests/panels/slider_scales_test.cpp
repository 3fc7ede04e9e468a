#include "panels/slider_scales.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A record shown on a panel, then read back from the sliders, must not move by a step: every value a
// position produces converts back to that position.
TEST(SliderScales, EveryPositionSurvivesTheRoundTripThroughItsValue) {
  const struct {
    const char* name;
    int positions;
    std::function<int(int)> roundTrip;
  } scales[] = {
      {"rate", 290, [](int p) { return panels::RatePosition(panels::RateFromPosition(p)); }},
      {"compressor attack", 100,
       [](int p) { return panels::CompressorAttackPosition(panels::CompressorAttackFromPosition(p)); }},
      {"release", 990, [](int p) { return panels::ReleasePosition(panels::ReleaseFromPosition(p)); }},
      {"limiter attack", 20, [](int p) { return panels::LimiterAttackPosition(panels::LimiterAttackFromPosition(p)); }},
      {"band", 48, [](int p) { return panels::BandPosition(panels::BandGain(p)); }},
  };
  for (const auto& scale : scales)
    for (int position = 0; position <= scale.positions; ++position)
      ASSERT_EQ(scale.roundTrip(position), position) << scale.name;
  // Values between two steps still truncate toward zero.
  EXPECT_EQ(panels::CompressorAttackPosition(0.0105), 89);
  EXPECT_EQ(panels::BandPosition(-0.5), 12);
}

}  // namespace
