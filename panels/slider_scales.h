#pragma once
#include <algorithm>
#include <cmath>

#include "engine/processing_parameters.h"

// Slider positions and the values they stand for. Every slider has its largest value at the top
// (position 0). Value-to-position conversions truncate toward zero, but a value that a position produced
// converts back to that same position: the allowance absorbs the rounding of the division and of the
// ratio's 32-bit float (1.1f is 1.10000002, which would otherwise land one step off).
namespace panels {

inline int TruncatePosition(double position) {
  constexpr double kAllowance = 1e-4;
  return static_cast<int>(std::trunc(position + (position >= 0 ? kAllowance : -kAllowance)));
}

// The sliders span the ranges the engine holds every value to (engine/processing_parameters.h).
using engine::CompressorRange;
using engine::LimiterRange;

// Equalizer band: one dB a step, the highest gain at the top (48 positions).
inline constexpr int kBandPositions = static_cast<int>(engine::kMaximumBandGainDb - engine::kMinimumBandGainDb);
inline constexpr int kHighestBandGain = static_cast<int>(engine::kMaximumBandGainDb);
inline int BandPosition(double gainDb) { return kHighestBandGain - static_cast<int>(std::trunc(gainDb)); }
inline float BandGain(int position) { return static_cast<float>(kHighestBandGain - position); }

// Compressor: center 0..20, rate 0..290 (a tenth a step), threshold 0..60, attack 0..100 (a millisecond a
// step); release 0..990 (a millisecond a step; the limiter's too).
inline constexpr int kCenterPositions = CompressorRange::kMaximumCenter - CompressorRange::kMinimumCenter;
inline constexpr int kRatePositions = 290;
inline constexpr int kThresholdPositions = CompressorRange::kMaximumThreshold - CompressorRange::kMinimumThreshold;
inline constexpr int kCompressorAttackPositions = 100;
inline constexpr int kReleasePositions = 990;
static_assert(kRatePositions == (CompressorRange::kMaximumRatio - CompressorRange::kMinimumRatio) * 10);
static_assert(kReleasePositions == (CompressorRange::kMaximumRelease - CompressorRange::kMinimumRelease) * 1000);
static_assert(LimiterRange::kMinimumRelease == CompressorRange::kMinimumRelease &&
              LimiterRange::kMaximumRelease == CompressorRange::kMaximumRelease);

inline int CenterFromPosition(int position) { return CompressorRange::kMaximumCenter - position; }
inline int CenterPosition(int center) { return CompressorRange::kMaximumCenter - center; }
inline float RateFromPosition(int position) {
  return static_cast<float>(CompressorRange::kMinimumRatio + (kRatePositions - position) / 10.0);
}
inline int RatePosition(float rate) { return TruncatePosition((CompressorRange::kMaximumRatio - rate) * 10.0); }
inline int ThresholdFromPosition(int position) { return CompressorRange::kMaximumThreshold - position; }
inline int ThresholdPosition(int threshold) { return CompressorRange::kMaximumThreshold - threshold; }
inline double CompressorAttackFromPosition(int position) {
  return CompressorRange::kMaximumAttack * (kCompressorAttackPositions - position) / kCompressorAttackPositions;
}
inline int CompressorAttackPosition(double attack) {
  return TruncatePosition((CompressorRange::kMaximumAttack - attack) * kCompressorAttackPositions /
                          CompressorRange::kMaximumAttack);
}
// 0.99 is written out: the difference of the range's ends is one rounding step away from it, and a position
// must give exactly the release it always gave.
inline double ReleaseFromPosition(int position) {
  return CompressorRange::kMinimumRelease + 0.99 * (kReleasePositions - position) / kReleasePositions;
}
inline int ReleasePosition(double release) {
  return TruncatePosition((CompressorRange::kMaximumRelease - release) * kReleasePositions / 0.99);
}

// Limiter: limit 0..96 (positions 72..96 all give the lowest level), attack 0..20 (a millisecond a step).
inline constexpr int kLimitPositions = 96;
inline constexpr int kLimiterAttackPositions = 20;
inline int LimitLevelFromPosition(int position) {
  return std::max(LimiterRange::kMinimumLevel, LimiterRange::kMaximumLevel - position);
}
inline int LimitPosition(int level) { return LimiterRange::kMaximumLevel - level; }
inline double LimiterAttackFromPosition(int position) {
  return LimiterRange::kMaximumAttack * (kLimiterAttackPositions - position) / kLimiterAttackPositions;
}
inline int LimiterAttackPosition(double attack) {
  return TruncatePosition((LimiterRange::kMaximumAttack - attack) * kLimiterAttackPositions /
                          LimiterRange::kMaximumAttack);
}

}  // namespace panels
