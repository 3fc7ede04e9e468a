// Runs the channel chain over a file of raw interleaved 16-bit stereo PCM, as the engine would run it over
// the driver's blocks, and writes the result as the same format. Used to compare the chain's speed with
// other tools on the same audio:
//   chain_file_bench INPUT.raw OUTPUT.raw [SAMPLE_RATE]
// Prints the frames processed and the frames per second of the whole run (reading, conversion, chain,
// writing) on standard error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/chain_settings.h"
#include "engine/channel_chain.h"
#include "engine/sample_conversion.h"

namespace {
constexpr int kChannels = 2;
constexpr int kBytesPerSample = 2;
constexpr int kFrameBytes = kChannels * kBytesPerSample;
constexpr int kBlockFrames = 4096;  // the driver's 16,384-byte blocks
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s INPUT.raw OUTPUT.raw [SAMPLE_RATE]\n", argv[0]);
    return 2;
  }
  const int rate = argc == 4 ? std::atoi(argv[3]) : 44100;
  if (rate <= 0) {
    std::fprintf(stderr, "bad sample rate: %s\n", argv[3]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::FILE* in = std::fopen(argv[1], "rb");
  if (!in) {
    std::perror(argv[1]);
    return 1;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::perror(argv[2]);
    std::fclose(in);
    return 1;
  }

  engine::ProcessingParameters parameters;
  bench::ConfigureChain(parameters);
  engine::CChannelChain chain(parameters);
  chain.FollowSampleRate(rate);
  std::vector<uint8_t> block(kBlockFrames * kFrameBytes);
  engine::CSignalBuffer channel[kChannels] = {engine::CSignalBuffer(kBlockFrames),
                                              engine::CSignalBuffer(kBlockFrames)};
  long long frames = 0;
  int status = 0;
  for (;;) {
    const size_t got = std::fread(block.data(), kFrameBytes, kBlockFrames, in);
    if (got == 0) break;
    const int n = static_cast<int>(got);
    for (int ch = 0; ch < kChannels; ++ch) {
      channel[ch].Resize(n);
      engine::pcm::ReadChannel(block.data() + ch * kBytesPerSample, kFrameBytes, n, 16, channel[ch].Data());
    }
    chain.ProcessStereo(channel[0], channel[1]);
    for (int ch = 0; ch < kChannels; ++ch)
      engine::pcm::WriteChannel(block.data() + ch * kBytesPerSample, kFrameBytes, n, 16, channel[ch].Data());
    if (std::fwrite(block.data(), kFrameBytes, got, out) != got) {
      std::perror(argv[2]);
      status = 1;
      break;
    }
    frames += n;
  }
  if (std::ferror(in)) {
    std::perror(argv[1]);
    status = 1;
  }
  std::fclose(in);
  if (std::fclose(out) != 0) status = 1;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "frames %lld seconds %.3f frames_per_second %.0f\n", frames, seconds,
               seconds > 0 ? frames / seconds : 0.0);
  return status;
}
