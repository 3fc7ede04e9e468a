#include "engine/sample_conversion.h"

namespace engine::pcm {
namespace {
template <double (*Read)(const uint8_t*)>
void ReadAll(const uint8_t* p, int stride, int frames, double* out) {
  for (int i = 0; i < frames; ++i, p += stride) out[i] = Read(p);
}
template <void (*Write)(uint8_t*, double)>
void WriteAll(uint8_t* p, int stride, int frames, const double* in) {
  for (int i = 0; i < frames; ++i, p += stride) Write(p, in[i]);
}
}  // namespace

void ReadChannel(const uint8_t* first, int stride, int frames, int bits, double* out) {
  switch (bits) {
    case 8: return ReadAll<Read8>(first, stride, frames, out);
    case 32: return ReadAll<Read32>(first, stride, frames, out);
    case 64: return ReadAll<Read64>(first, stride, frames, out);
    default: return ReadAll<Read16>(first, stride, frames, out);
  }
}

void WriteChannel(uint8_t* first, int stride, int frames, int bits, const double* in) {
  switch (bits) {
    case 8: return WriteAll<Write8>(first, stride, frames, in);
    case 32: return WriteAll<Write32>(first, stride, frames, in);
    case 64: return WriteAll<Write64>(first, stride, frames, in);
    default: return WriteAll<Write16>(first, stride, frames, in);
  }
}

}  // namespace engine::pcm
