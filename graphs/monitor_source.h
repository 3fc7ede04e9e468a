#pragma once
#include <array>

#include "engine/processing_parameters.h"

namespace graphs {

inline constexpr int kMonitorBands = 8;

// One reading of the monitor: eight band levels and the overall level, in dB SPL.
struct MonitorReading {
  std::array<double, kMonitorBands> bands{};
  double total = 0.0;
};

// The output format shown in the monitor's caption; channels == 0 while the output is closed.
struct MonitorOutputFormat {
  int samplesPerSec = 0;
  int bitsPerSample = 0;
  int channels = 0;
};

// What the monitor graph needs from the engine. No call may wait for the audio threads: the graph
// calls them from its timer on the user-interface thread.
class IMonitorSource {
 public:
  virtual ~IMonitorSource() = default;
  // Asks the processing thread for a reading of `side`.
  virtual void PostRequest(engine::MonitorSide side) = 0;
  // The answer to the last request if the processing thread has given it (true), else zeros (false).
  virtual bool TakeReply(MonitorReading& reading) = 0;
  // The output's format while it is open; channels 0 while it is closed.
  virtual MonitorOutputFormat OutputFormat() = 0;
  // The limiter's level of each channel (dB), for the marker line.
  virtual std::array<int, 2> LimiterLevels() = 0;
};

}  // namespace graphs
