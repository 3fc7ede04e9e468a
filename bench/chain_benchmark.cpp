// Throughput of the per-channel chain with every stage doing real work, in stereo frames per second at
// 44.1 kHz: eight non-zero bands per channel, a 2:1 compressor whose envelope sits above its threshold,
// a volume below unity and a limiter that is pulling the signal down.
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/chain_settings.h"
#include "engine/channel_chain.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 4096;  // a 16,384-byte block of 16-bit stereo

void Fill(engine::CSignalBuffer& buffer, long long start, double phase) {
  buffer.Resize(kFrames);
  for (int i = 0; i < kFrames; ++i) {
    const double t = double(start + i) / kRate;
    buffer[i] = 0.5 * std::sin(2 * M_PI * 220 * t + phase) + 0.3 * std::sin(2 * M_PI * 3100 * t) +
                0.15 * std::sin(2 * M_PI * 47 * t);
  }
}

void RunChain(benchmark::State& state, bool analysisPending) {
  engine::ProcessingParameters p;
  bench::ConfigureChain(p);
  engine::CChannelChain chain(p);
  chain.FollowSampleRate(kRate);
  // Several different blocks, so the loop does not replay one cached pattern.
  constexpr int kBlocks = 8;
  engine::CSignalBuffer source[kBlocks][2];
  for (int b = 0; b < kBlocks; ++b)
    for (int ch = 0; ch < 2; ++ch) {
      source[b][ch].Reserve(kFrames);
      Fill(source[b][ch], (long long)b * kFrames, ch * 0.7);
    }
  engine::CSignalBuffer buffers[2] = {engine::CSignalBuffer(kFrames), engine::CSignalBuffer(kFrames)};
  engine::CSignalBuffer& left = buffers[0];
  engine::CSignalBuffer& right = buffers[1];
  left.Resize(kFrames);
  right.Resize(kFrames);
  int block = 0;
  for (auto _ : state) {
    std::copy(source[block][0].Data(), source[block][0].Data() + kFrames, left.Data());
    std::copy(source[block][1].Data(), source[block][1].Data() + kFrames, right.Data());
    if (analysisPending) {
      p.monitor.side = engine::MonitorSide::kBoth;
      p.monitor.request = 1;
    }
    chain.Run(buffers, 2);
    benchmark::DoNotOptimize(left.Data());
    benchmark::DoNotOptimize(right.Data());
    block = (block + 1) % kBlocks;
  }
  state.counters["envelope"] = chain.Compressor().Envelope(0);
  state.counters["threshold"] = std::pow(10.0, p.compressor.channel[0].threshold.load());
  state.counters["limiterEnvelope"] = chain.Limiter().Envelope(0);
  state.counters["limit"] = p.limiter.channel[0].limit;
  state.SetItemsProcessed(state.iterations() * kFrames);
  state.SetLabel("items = stereo frames");
}

// A stereo block as the processing thread and render run it.
void BM_ChainAllStages(benchmark::State& state) { RunChain(state, false); }
void BM_ChainAllStagesAnalysisPending(benchmark::State& state) { RunChain(state, true); }

}  // namespace

BENCHMARK(BM_ChainAllStages);
BENCHMARK(BM_ChainAllStagesAnalysisPending);
BENCHMARK_MAIN();
