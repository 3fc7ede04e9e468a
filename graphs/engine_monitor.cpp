#include "graphs/engine_monitor.h"

#include "engine/level_analysis.h"

namespace graphs {

static_assert(kMonitorBands == engine::kBandCount);

CEngineMonitor::CEngineMonitor(engine::CDspMain& dsp, engine::ProcessingParameters& parameters)
    : dsp_(dsp), parameters_(parameters) {}

void CEngineMonitor::PostRequest(engine::MonitorSide side) { engine::PostMonitorRequest(parameters_, side); }

bool CEngineMonitor::TakeReply(MonitorReading& reading) {
  return engine::TakeMonitorReply(parameters_, reading.bands.data(), &reading.total) != 0;
}

MonitorOutputFormat CEngineMonitor::OutputFormat() {
  const engine::WaveFormat format = dsp_.PlayingFormat();
  return {static_cast<int>(format.samplesPerSec), format.bitsPerSample, format.channels};
}

std::array<int, 2> CEngineMonitor::LimiterLevels() {
  // The processing thread only tries this lock, so taking it never waits for audio work.
  return {parameters_.limiter.Level(0), parameters_.limiter.Level(1)};
}

}  // namespace graphs
