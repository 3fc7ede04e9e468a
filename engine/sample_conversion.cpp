#include "engine/sample_conversion.h"

namespace engine::pcm {
namespace {
template <double (*Read)(const uint8_t*)>
void ReadAll(const uint8_t* p, int stride, std::span<double> out) {
  for (double& sample : out) {
    sample = Read(p);
    p += stride;
  }
}
template <void (*Write)(uint8_t*, double)>
void WriteAll(uint8_t* p, int stride, std::span<const double> in) {
  for (const double sample : in) {
    Write(p, sample);
    p += stride;
  }
}
}  // namespace

void ReadChannel(const uint8_t* first, int stride, int bits, std::span<double> out) {
  switch (bits) {
    case 8: return ReadAll<Read8>(first, stride, out);
    case 32: return ReadAll<Read32>(first, stride, out);
    case 64: return ReadAll<Read64>(first, stride, out);
    default: return ReadAll<Read16>(first, stride, out);
  }
}

void WriteChannel(uint8_t* first, int stride, int bits, std::span<const double> in) {
  switch (bits) {
    case 8: return WriteAll<Write8>(first, stride, in);
    case 32: return WriteAll<Write32>(first, stride, in);
    case 64: return WriteAll<Write64>(first, stride, in);
    default: return WriteAll<Write16>(first, stride, in);
  }
}

}  // namespace engine::pcm
