// Painting each graph at its panel size into an image, with values like the user sets: a whole repaint
// (what a tab switch or an uncovered window costs) and, for the monitor, one timer tick's repaint of the
// meters alone. Runs on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include "graphs/graph_compress.h"
#include "graphs/graph_equalizer.h"
#include "graphs/graph_limiter.h"
#include "graphs/graph_monitor.h"

namespace {

constexpr int kWidth = 318, kMonitorWidth = 360, kHeight = 232;

// Paints `graph` (or only `region` of it) into a reused image, as its window would be painted.
void Paint(benchmark::State& state, QWidget& graph, const QRegion& region = QRegion()) {
  QImage image(graph.size(), QImage::Format_RGB32);
  for (auto _ : state) {
    graph.render(&image, QPoint(), region, QWidget::DrawChildren);
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_Equalizer(benchmark::State& state) {
  graphs::GraphEqualizer graph;
  graph.resize(kWidth, kHeight);
  settings::CCurve left, right;
  left.ResetToDefaults();
  right.ResetToDefaults();
  left.SetPoint(63, 6, -36, 12);
  left.SetPoint(1000, -8, -36, 12);
  right.SetPoint(160, -20, -36, 12);
  right.SetPoint(6300, 4, -36, 12);
  graph.SetCurves(left, right);
  Paint(state, graph);
}
BENCHMARK(BM_Equalizer)->Unit(benchmark::kMicrosecond);

void BM_Compress(benchmark::State& state) {
  graphs::GraphCompress graph;
  graph.resize(kWidth, kHeight);
  graph.SetValues(60, 50, 2.0);
  Paint(state, graph);
}
BENCHMARK(BM_Compress)->Unit(benchmark::kMicrosecond);

void BM_Limiter(benchmark::State& state) {
  graphs::GraphLimiter graph;
  graph.resize(kWidth, kHeight);
  graph.SetLevels(100, 72);
  Paint(state, graph);
}
BENCHMARK(BM_Limiter)->Unit(benchmark::kMicrosecond);

struct SteadySource : graphs::IMonitorSource {
  void PostRequest(engine::MonitorSide) override {}
  bool TakeReply(graphs::MonitorReading& reading) override {
    reading.bands = {40, 60, 75, 85, 93, 99, 50, 15};
    reading.total = 97;
    return true;
  }
  graphs::MonitorOutputFormat OutputFormat() override { return {44100, 16, 2}; }
  std::array<int, 2> LimiterLevels() override { return {94, 90}; }
};

void BM_MonitorWhole(benchmark::State& state) {
  SteadySource source;
  graphs::GraphMonitor graph(nullptr, source);
  graph.resize(kMonitorWidth, kHeight);
  graph.SetSide(engine::MonitorSide::kBoth);
  graph.Tick();
  Paint(state, graph);
}
BENCHMARK(BM_MonitorWhole)->Unit(benchmark::kMicrosecond);

// A tick: the reply taken, the next request posted, the bars and the Sat bar repainted.
void BM_MonitorTick(benchmark::State& state) {
  SteadySource source;
  graphs::GraphMonitor graph(nullptr, source);
  graph.resize(kMonitorWidth, kHeight);
  graph.SetSide(engine::MonitorSide::kBoth);
  // The meters' areas: the plot less 2 pixels left, top and right, and the Sat bar's inside.
  const QRegion meters = QRegion(26, 22, 284, 192) + QRegion(326, 22, 22, 192);
  QImage image(graph.size(), QImage::Format_RGB32);
  for (auto _ : state) {
    graph.Tick();
    graph.render(&image, QPoint(), meters, QWidget::DrawChildren);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_MonitorTick)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
