#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

namespace engine {

// Conversion between interleaved PCM and one channel of doubles. Any width other than 8, 32 and 64 bits
// is handled as 16. 8-bit PCM is unsigned with 128 as silence.
namespace pcm {

inline double Read8(const uint8_t* p) { return (static_cast<int>(*p) - 128) * (1.0 / 127); }
inline double Read16(const uint8_t* p) {
  int16_t v;
  std::memcpy(&v, p, sizeof v);
  return v * (1.0 / 32767);
}
inline double Read32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v * (1.0 / 2147483647);
}
inline double Read64(const uint8_t* p) {
  int64_t v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<double>(v) * 0x1p-63;
}

// Clamped to [-1, 1]; NaN (a filter driven into instability) is written as silence rather than noise.
inline double Clamp(double x) {
  if (x > 1.0) return 1.0;
  if (x < -1.0) return -1.0;
  return x == x ? x : 0.0;
}

inline void Write8(uint8_t* p, double x) { *p = static_cast<uint8_t>(static_cast<int>(Clamp(x) * 127) + 128); }
inline void Write16(uint8_t* p, double x) {
  const int16_t v = static_cast<int16_t>(Clamp(x) * 32767);
  std::memcpy(p, &v, sizeof v);
}
inline void Write32(uint8_t* p, double x) {
  const int32_t v = static_cast<int32_t>(Clamp(x) * 2147483647.0);
  std::memcpy(p, &v, sizeof v);
}
inline void Write64(uint8_t* p, double x) {
  // +1.0 scales to 2^63, one past the largest value: saturate there.
  const double scaled = Clamp(x) * 0x1p63;
  const int64_t v = scaled >= 0x1p63 ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(scaled);
  std::memcpy(p, &v, sizeof v);
}

// Reads `out.size()` samples of one channel starting at `first`, `stride` bytes apart; WriteChannel the reverse.
void ReadChannel(const uint8_t* first, int stride, int bits, std::span<double> out);
void WriteChannel(uint8_t* first, int stride, int bits, std::span<const double> in);
// The byte value that plays as silence at this width.
inline uint8_t SilenceByte(int bits) { return bits == 8 ? 128 : 0; }
// False when every sample of the block is digital silence (what a sink delivers while nothing plays).
inline bool HoldsSound(std::span<const uint8_t> block, int bits) {
  const uint8_t silence = SilenceByte(bits);
  for (const uint8_t byte : block)
    if (byte != silence) return true;
  return false;
}

}  // namespace pcm
}  // namespace engine
