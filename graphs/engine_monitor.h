#pragma once
#include "engine/dsp_main.h"
#include "engine/processing_parameters.h"
#include "graphs/monitor_source.h"

namespace graphs {

// The monitor's view of the running engine: requests and replies through the parameters' monitor
// exchange without waiting, the output format from the engine, the limiter levels from its block.
class CEngineMonitor : public IMonitorSource {
 public:
  CEngineMonitor(engine::CDspMain& dsp, engine::ProcessingParameters& parameters);

  void PostRequest(engine::MonitorSide side) override;
  bool TakeReply(MonitorReading& reading) override;
  MonitorOutputFormat OutputFormat() override;
  std::array<int, 2> LimiterLevels() override;

 private:
  engine::CDspMain& dsp_;
  engine::ProcessingParameters& parameters_;
};

}  // namespace graphs
