// What one graph cycle costs this process on PipeWire's data thread, apart from the server's own work and the
// wake-up: the driver device reading the cycle, the engine with every stage doing real work (the chain
// benchmark's settings), and the output written back into the cycle, for the quanta a desktop runs at.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "audio/pipewire_live_path.h"
#include "audio/pipewire_wave_out.h"
#include "bench/chain_settings.h"
#include "engine/dsp_main.h"
#include "tests/support/graph_opener.h"

namespace {

constexpr uint32_t kRate = 48000;

// The one output device the engine is told about; the PipeWire side plays what it is given.
class OneDevice : public engine::IWaveOutSystem {
 public:
  unsigned DeviceCount() override { return 1; }
  engine::MmResult DeviceName(unsigned index, std::string* name) override {
    if (index != 0) return engine::kMmBadDeviceId;
    *name = "Speakers";
    return engine::kMmNoError;
  }
  engine::MmResult Open(unsigned, const engine::WaveFormat&, std::unique_ptr<engine::IWaveOutStream>*) override {
    return engine::kMmNoDriver;
  }
  bool SetMixerVolume(unsigned, unsigned) override { return true; }
};

class QuietReporter : public engine::IEngineReporter {
 public:
  void ShowError(const std::string&) override {}
};

void BM_GraphCycle(benchmark::State& state) {
  const auto frames = uint32_t(state.range(0));
  engine::ProcessingParameters parameters;
  bench::ConfigureChain(parameters);
  audio::PipeWireLivePath path;  // never started: the benchmark runs its cycles
  OneDevice list;
  audio::PipeWireWaveOutSystem outputs(list, path);
  testing_support::GraphOpener opener(path);
  QuietReporter reporter;
  engine::CDspMain dsp(opener, outputs, reporter, parameters);
  dsp.Output().SelectDevice(0);
  dsp.Start();
  // Several seconds of different sound, so the loop does not replay one cached pattern.
  const uint32_t length = 8 * kRate;
  std::vector<float> input[2];
  std::vector<float> output[2];
  for (int c = 0; c < 2; ++c) {
    input[c].resize(length + frames);
    output[c].resize(frames);
    for (uint32_t i = 0; i < input[c].size(); ++i)
      input[c][i] = float(0.5 * std::sin(2 * M_PI * 220 * i / kRate + c) + 0.3 * std::sin(2 * M_PI * 3100 * i / kRate));
  }
  uint64_t nsec = 1;
  uint32_t at = 0;
  for (auto _ : state) {
    for (int c = 0; c < 2; ++c) {
      path.Cycle().input[c] = input[c].data() + at;
      path.Cycle().output[c] = output[c].data();
    }
    path.RunCycle(frames, kRate, nsec);
    benchmark::DoNotOptimize(output[0].data());
    nsec += uint64_t(frames) * 1'000'000'000ull / kRate;
    at = (at + frames) % length;
  }
  dsp.Stop();
  state.SetItemsProcessed(state.iterations() * frames);
  state.SetLabel("items = stereo frames");
}

}  // namespace

BENCHMARK(BM_GraphCycle)->Arg(256)->Arg(1024);
BENCHMARK_MAIN();
