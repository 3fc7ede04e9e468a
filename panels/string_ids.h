#pragma once

namespace panels {

// String table ids of the panels' texts.
inline constexpr int kStringGather = 61468;  // "Gather"
inline constexpr int kStringLeft = 61469;
inline constexpr int kStringRight = 61470;
inline constexpr int kStringBoth = 61471;
inline constexpr int kStringCompressorSidesDiffer = 32784;
inline constexpr int kStringEqualizerSidesDiffer = 32785;
inline constexpr int kStringLimiterSidesDiffer = 32787;
inline constexpr int kStringUnsafeLimit = 61449;           // above 96 dB SPL
inline constexpr int kStringUnsafeAmplifiedLimit = 61476;  // above 116 dB SPL
// The panels' fixed captions, in the interface language like every other text.
inline constexpr int kStringVolume = 62308;
inline constexpr int kStringSide = 62309;                // "Side: "
inline constexpr int kStringFlat = 62310;                // "Flate"
inline constexpr int kStringCompressorCaptions = 62311;  // "Center    Rate Threshold", spaced over the sliders
inline constexpr int kStringTimeCaptions = 62312;        // "Attack  Release"
inline constexpr int kStringLimiterCaptions = 62313;     // "Limit ... Attack   Release"
inline constexpr int kStringSiteTip = 62314;             // "Click Here to go the Website"
inline constexpr int kStringMonitorTab = 62315;
inline constexpr int kStringEqualizerTab = 62316;
inline constexpr int kStringCompressionTab = 62317;
inline constexpr int kStringLimiterTab = 62318;

}  // namespace panels
