#pragma once

namespace panels {

// String table ids of the panels' texts.
inline constexpr int kStringGather = 61468;                // "Gather"
inline constexpr int kStringLeft = 61469;
inline constexpr int kStringRight = 61470;
inline constexpr int kStringBoth = 61471;
inline constexpr int kStringCompressorSidesDiffer = 32784;
inline constexpr int kStringEqualizerSidesDiffer = 32785;
inline constexpr int kStringLimiterSidesDiffer = 32787;
inline constexpr int kStringUnsafeLimit = 61449;           // above 96 dB SPL
inline constexpr int kStringUnsafeAmplifiedLimit = 61476;  // above 116 dB SPL

}  // namespace panels
