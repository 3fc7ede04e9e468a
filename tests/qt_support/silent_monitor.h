#pragma once
#include "graphs/monitor_source.h"

namespace testing_support {

// An engine that never answers: the monitor draws zeros.
class SilentMonitor : public graphs::IMonitorSource {
 public:
  void PostRequest(engine::MonitorSide) override {}
  bool TakeReply(graphs::MonitorReading&) override { return false; }
  graphs::MonitorOutputFormat OutputFormat() override { return {}; }
  std::array<int, 2> LimiterLevels() override { return {96, 96}; }
};

}  // namespace testing_support
