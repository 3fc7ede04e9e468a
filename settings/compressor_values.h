#pragma once
#include <array>

namespace settings {

// The compressor of one side as the user sets it (dB SPL, ratio, seconds); the engine gets it converted
// through SetCompressorChannel.
struct CompressorValues {
  int threshold = 0;      // dB SPL
  int center = 0;         // dB SPL
  float rate = 0.0f;      // compression ratio
  double attack = 0.0;    // s
  double release = 0.01;  // s
};

inline bool operator==(const CompressorValues& a, const CompressorValues& b) {
  return a.threshold == b.threshold && a.center == b.center && a.rate == b.rate && a.attack == b.attack &&
         a.release == b.release;
}

// Left then right.
using CompressorPair = std::array<CompressorValues, 2>;

}  // namespace settings
