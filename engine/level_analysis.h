#pragma once
#include <array>

#include "engine/biquad.h"
#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"

namespace engine {

// Measures what goes to the sound card, on request only: eight band levels (mean power through narrow
// band-pass sections at the equalizer's frequencies) and the block's peak, in dB SPL with 96 = full scale.
class CLevelAnalysis {
 public:
  static constexpr double kBandQuality = 10.0;

  explicit CLevelAnalysis(MonitorExchange& exchange);
  virtual ~CLevelAnalysis() = default;

  // Answers a pending request from one channel of one block; the buffer is not changed. Costs nothing
  // while no request is pending and never allocates.
  void Run(const CSignalBuffer& buffer, int channel, int channels, int sampleRate);

 private:
  struct Reading {
    std::array<double, kBandCount> band{};
    double total = 0.0;
  };
  Reading Measure(const CSignalBuffer& buffer);
  // False when the monitor is reading the previous answer at this moment; the request then stays pending.
  bool Publish(const Reading& reading);

  MonitorExchange& exchange_;
  std::array<CBiquad, kBandCount> sections_;
  int analysisRate_ = 0;
  Reading first_;  // the first channel's reading while side Both waits for the second
};

// The monitor's exchange with the processing thread, for a caller that must never wait (the monitor graph's
// timer): PostMonitorRequest asks for a reading of `side`; TakeMonitorReply, called a timer period later,
// gives the answer if the processing thread has stored it since (1, with the levels +20 dB with the
// amplifier), or zeros (0). An unanswered request stays pending, so the answer is collected by a later take.
void PostMonitorRequest(ProcessingParameters& parameters, MonitorSide side);
int TakeMonitorReply(ProcessingParameters& parameters, double* bands, double* total);

}  // namespace engine
