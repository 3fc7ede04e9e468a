// Cost of the PulseAudio output's rate correction: 16-bit stereo at 48 kHz in 10 ms blocks through the
// resampler, at a ratio the queue's control might ask for (a fraction of a frame, so every output frame is a
// real interpolation), in frames per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/rate_converter.h"
#include "engine/sample_conversion.h"

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = kRate / 100;

void RateConversion(benchmark::State& state) {
  engine::RateConverter converter(2, 16, kFrames);
  converter.SetRatio(1.0 + double(state.range(0)) * 1e-5);
  std::vector<uint8_t> in(kFrames * 4), out(size_t(engine::RateConverter::MaxOutputFrames(kFrames)) * 4);
  for (int i = 0; i < kFrames; ++i) {
    const double x = 0.5 * std::sin(2 * M_PI * 1000 * i / kRate) + 0.2 * std::sin(2 * M_PI * 15000 * i / kRate);
    engine::pcm::Write16(&in[i * 4], x);
    engine::pcm::Write16(&in[i * 4 + 2], -x);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(converter.Process(in.data(), kFrames, out.data()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  // The share of one core the conversion takes while it plays in real time.
  state.counters["core"] = benchmark::Counter(double(state.iterations()) * kFrames / kRate,
                                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

// In 1e-5: 1.003 (a correction under way) and 1.01 (the largest).
BENCHMARK(RateConversion)->Arg(300)->Arg(1000);

BENCHMARK_MAIN();
