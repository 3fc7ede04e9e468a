#include "engine/level_analysis.h"

#include <cmath>

namespace engine {

namespace {
// The 6300 Hz band needs a rate above 12600 Hz and the 16000 Hz band one above 32000 Hz to be measured.
bool BandMeasurable(int band, int sampleRate) {
  if (band == 6) return sampleRate > 12600;
  if (band == 7) return sampleRate > 32000;
  return true;
}
}  // namespace

CLevelAnalysis::CLevelAnalysis(MonitorExchange& exchange) : exchange_(exchange) {}

CLevelAnalysis::Reading CLevelAnalysis::Measure(const CSignalBuffer& buffer) {
  const int count = buffer.Count();
  const double* samples = buffer.Data();
  Reading reading;
  // Every block is measured from a zero history. A band signal is only ever summed, so it is not kept;
  // bands are filtered four (or two) at a time from the same samples. The measurable bands are the lowest.
  std::array<double, kBandCount> sums{};
  int measurable = 0;
  while (measurable < kBandCount && BandMeasurable(measurable, analysisRate_)) ++measurable;
  for (CBiquad& section : sections_) section.Reset();
  int band = 0;
  for (; band + 4 <= measurable; band += 4)
    CBiquad::ProcessSumOfSquaresQuad(
        {&sections_[band], &sections_[band + 1], &sections_[band + 2], &sections_[band + 3]}, buffer.Samples(),
        &sums[band]);
  for (; band + 2 <= measurable; band += 2)
    CBiquad::ProcessSumOfSquaresPair(sections_[band], sections_[band + 1], buffer.Samples(), &sums[band],
                                     &sums[band + 1]);
  if (band < measurable) sums[band] = sections_[band].ProcessSumOfSquares(buffer.Samples());
  for (int band = 0; band < kBandCount; ++band)
    reading.band[band] =
        BandMeasurable(band, analysisRate_) ? 10.0 * std::log10(sums[band] / count) + kFullScaleDbSpl : 0.0;
  double peak = 0.0;
  for (int i = 0; i < count; ++i)
    if (samples[i] > peak) peak = samples[i];
  const double total = peak > 0.0 ? 20.0 * std::log10(peak) + kFullScaleDbSpl : 0.0;
  reading.total = total > 0.0 ? total : 0.0;
  return reading;
}

bool CLevelAnalysis::Publish(const Reading& reading) {
  if (!exchange_.resultsLock.TryEnter()) return false;
  exchange_.bandLevel = reading.band;
  exchange_.total = reading.total;
  exchange_.resultsLock.Leave();
  // Cleared before signalling, so a request the monitor makes as soon as it wakes is not wiped out.
  exchange_.request = 0;
  exchange_.reply.Set();
  return true;
}

void CLevelAnalysis::Run(const CSignalBuffer& buffer, int channel, int channels, int sampleRate) {
  if (!exchange_.request.load(std::memory_order_acquire)) return;
  if (buffer.Count() <= 0) return;
  const MonitorSide side = exchange_.side.load();
  if (side != MonitorSide::kBoth) {
    const bool wanted =
        (channel == 0 && side == MonitorSide::kLeft) || (channel == 1 && side == MonitorSide::kRight) || channels == 1;
    if (!wanted) return;
  }

  if (analysisRate_ != sampleRate) {
    analysisRate_ = sampleRate;
    for (int band = 0; band < kBandCount; ++band) {
      CBiquad& section = sections_[band];
      section.sampleRate = sampleRate;
      section.frequency = kBandFrequencies[band];
      section.widthForm = CBiquad::kQuality;
      section.q = kBandQuality;
      section.kind = CBiquad::kBandPass;
      section.gain = 0.0;
      section.Design();
    }
  }

  Reading reading = Measure(buffer);
  if (side != MonitorSide::kBoth || channels == 1) {
    // A half-finished Both reading is void once the side changed or a mono block came: left pending, it
    // would later be averaged with a channel of another moment or another stream.
    exchange_.secondPending = 0;
    Publish(reading);
    return;
  }
  if (!exchange_.secondPending) {
    first_ = reading;
    exchange_.secondPending = 1;
    return;
  }
  // Both channels: the mean of their band levels in dB, and the larger peak.
  for (int band = 0; band < kBandCount; ++band) reading.band[band] = (reading.band[band] + first_.band[band]) / 2.0;
  if (reading.total < first_.total) reading.total = first_.total;
  exchange_.secondPending = 0;
  Publish(reading);
}

namespace {
int NoReading(double* bands, double* total) {
  for (int band = 0; band < kBandCount; ++band) bands[band] = 0.0;
  *total = 0.0;
  return 0;
}

// Copies the stored answer, under the results lock the caller holds.
int CopyReading(const MonitorExchange& exchange, bool amplificator, double* bands, double* total)
    REQUIRES(exchange.resultsLock) {
  const double offset = amplificator ? kAmplifiedFullScaleDbSpl - kFullScaleDbSpl : 0.0;
  for (int band = 0; band < kBandCount; ++band) bands[band] = exchange.bandLevel[band] + offset;
  *total = exchange.total + offset;
  return 1;
}
}  // namespace

void PostMonitorRequest(ProcessingParameters& parameters, MonitorSide side) {
  parameters.monitor.side = side;
  parameters.monitor.request.store(1, std::memory_order_release);
}

int TakeMonitorReply(ProcessingParameters& parameters, double* bands, double* total) {
  MonitorExchange& exchange = parameters.monitor;
  if (exchange.reply.Wait(0) != platform::kWaitSignalled) return NoReading(bands, total);
  // Busy only while the processing thread stores a newer answer, which signals the reply again: the
  // next take collects that one rather than this call waiting for it.
  if (!exchange.resultsLock.TryEnter()) return NoReading(bands, total);
  const int answered = CopyReading(exchange, parameters.amplificator, bands, total);
  exchange.resultsLock.Leave();
  return answered;
}

}  // namespace engine
