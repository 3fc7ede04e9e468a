#pragma once
#include <algorithm>
#include <cmath>

// Slider positions and the values they stand for. Every slider has its largest value at the top
// (position 0). Value-to-position conversions truncate toward zero, but a value that a position produced
// converts back to that same position: the allowance absorbs the rounding of the division and of the
// ratio's 32-bit float (1.1f is 1.10000002, which would otherwise land one step off).
namespace panels {

inline int TruncatePosition(double position) {
  constexpr double kAllowance = 1e-4;
  return static_cast<int>(std::trunc(position + (position >= 0 ? kAllowance : -kAllowance)));
}

// Equalizer band: 0 .. 48, one dB a step, +12 dB at the top.
inline constexpr int kBandPositions = 48;
inline int BandPosition(double gainDb) { return 12 - static_cast<int>(std::trunc(gainDb)); }
inline float BandGain(int position) { return static_cast<float>(12 - position); }

// Compressor: center 0..20, rate 0..290, threshold 0..60, attack 0..100; release 0..990 (the limiter's too).
inline int CenterFromPosition(int position) { return 70 - position; }
inline int CenterPosition(int center) { return 70 - center; }
inline float RateFromPosition(int position) { return static_cast<float>(1.0 + (290 - position) / 10.0); }
inline int RatePosition(float rate) { return TruncatePosition((30.0 - rate) * 10.0); }
inline int ThresholdFromPosition(int position) { return 60 - position; }
inline int ThresholdPosition(int threshold) { return 60 - threshold; }
inline double CompressorAttackFromPosition(int position) { return 0.1 * (100 - position) / 100.0; }
inline int CompressorAttackPosition(double attack) { return TruncatePosition((0.1 - attack) * 100.0 / 0.1); }
inline double ReleaseFromPosition(int position) { return 0.01 + 0.99 * (990 - position) / 990.0; }
inline int ReleasePosition(double release) { return TruncatePosition((1.0 - release) * 990.0 / 0.99); }

// Limiter: limit 0..96 (positions 72..96 all give 48 dB SPL), attack 0..20.
inline int LimitLevelFromPosition(int position) { return std::max(48, 120 - position); }
inline int LimitPosition(int level) { return 120 - level; }
inline double LimiterAttackFromPosition(int position) { return 0.02 * (20 - position) / 20.0; }
inline int LimiterAttackPosition(double attack) { return TruncatePosition((0.02 - attack) * 20.0 / 0.02); }

}  // namespace panels
