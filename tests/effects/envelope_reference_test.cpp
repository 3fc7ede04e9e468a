#include <gtest/gtest.h>

#include <cmath>

#include "effects_support.h"
#include "engine/compressor.h"
#include "engine/limiter.h"

using namespace engine;
using namespace effects_test;

namespace {

// `count` samples of a test signal at `rate`.
using Signal = std::vector<double> (*)(int count, double rate);

// The compressor's curve as described, in log10 of amplitude: slope 1 below T, ratio R about P above it,
// flat at P from R = 30. A sample whose envelope has no level (0, or below 0 while a smoother rings) passes.
double CurveGain(double envelope, const CompressorChannel& c) {
  if (!(envelope > 0.0)) return 1.0;
  const double level = std::log10(envelope), t = c.threshold, p = c.center, r = c.rate;
  const double out = level < t ? level + (t - p) / r + p - t : r < 30 ? p + (level - p) / r : p;
  return std::pow(10.0, out) / envelope;
}

struct StageCase {
  const char* what;
  bool limiter;
  double attack, release;  // s, set on the record as given (the writers hold the panels' ranges)
  int level;               // limiter: dB SPL; compressor: the threshold in dB SPL
  double ratio;            // compressor
};

}  // namespace

// Both envelope stages, sample by sample against the plain description of the detector, on audio: sines
// across the band, noise and bursts, with short and long times, in blocks of awkward lengths (across the
// stages' chunks), before and after a change from 44.1 kHz to 96 kHz (a new format: redesigned, restarted).
TEST(EnvelopeStages, FollowThePlainDetectorSampleBySampleOnAudio) {
  const StageCase cases[] = {
      {"compressor, instant attack", false, 0.0, 0.01, 60, 3.0},
      {"compressor, slow", false, 0.1, 1.0, 50, 30.0},
      {"compressor, release ringing below zero", false, 0.001, 0.00005, 40, 2.0},
      {"compressor, release past 1 s", false, 0.002, 30.0, 60, 4.0},
      {"limiter, instant attack", true, 0.0, 0.0, 90, 0},
      {"limiter, slow", true, 0.02, 1.0, 84, 0},
  };
  const Signal signals[] = {[](int n, double rate) { return Sine(n, 50, rate, 0.8); },
                            [](int n, double rate) { return Sine(n, 1000, rate, 0.8); },
                            [](int n, double rate) { return Sine(n, 5000, rate, 0.8); },
                            [](int n, double rate) { return Sine(n, 15000, rate, 0.8); },
                            [](int n, double) { return Noise(n, 0.5, 3); },
                            [](int n, double rate) {  // a 1 kHz tone bursting from -34 dB to -1 dB every 50 ms
                              auto tone = Sine(n, 1000, rate, 0.9);
                              for (int i = 0; i < n; ++i)
                                tone[i] *= std::fmod(i / rate, 0.05) < 0.02 ? 1.0 : 0.02 / 0.9;
                              return tone;
                            }};
  const int blockSizes[] = {4410, 1, 255, 256, 257, 1023, 2};
  bool rang = false;
  for (const StageCase& c : cases) {
    for (size_t s = 0; s < std::size(signals); ++s) {
      SCOPED_TRACE(testing::Message() << c.what << ", signal " << s);
      ProcessingParameters p;
      CCompressor compressor(p.compressor);
      CLimiter limiter(p);
      const CompressorChannel& record = p.compressor.channel[0];
      p.SetCompressorChannel(c.level, c.ratio, 0.0, 0.01, 76, 0);
      p.SetLimiterChannel(c.level, 0, 0.0, 0.01);
      // Past the writers' ranges on purpose: the stages must still follow the plain description.
      p.compressor.times[0] = {c.attack, c.release};
      p.limiter.values[0].attack = c.attack;
      p.limiter.values[0].release = c.release;
      const double limit = std::pow(10.0, (c.level - 96) / 20.0);
      for (int rate : {44100, 96000}) {
        compressor.FollowSampleRate(rate);
        limiter.FollowSampleRate(rate);
        compressor.Reset();
        limiter.Reset();
        // Shortest times: 10 us, and 1 ms for the limiter's release.
        ReferenceFollower reference(rate, c.attack, 0.00001, c.release, c.limiter ? 0.001 : 0.00001);
        const std::vector<double> signal = signals[s](rate / 4 + 4410, rate);
        CSignalBuffer buffer;
        for (int start = 0, k = 0; start < rate / 4; start += buffer.Count(), ++k) {
          const std::vector<double> input(&signal[start], &signal[start] + blockSizes[k % std::size(blockSizes)]);
          Load(buffer, input);
          if (c.limiter)
            limiter.Run(buffer, 0);
          else
            compressor.Run(buffer, 0);
          for (int i = 0; i < buffer.Count(); ++i) {
            const double envelope = reference.Next(std::fabs(input[i]));
            rang |= envelope < 0.0;
            const double gain = c.limiter ? (envelope > limit ? limit / envelope : 1.0) : CurveGain(envelope, record);
            const double want = input[i] * gain;
            ASSERT_LE(std::fabs(buffer[i] - want), 1e-9 * std::fabs(want) + 1e-15)
                << rate << " Hz, sample " << start + i << ": " << buffer[i] << " instead of " << want;
          }
        }
      }
    }
  }
  EXPECT_TRUE(rang) << "no case drove an envelope below zero";
}
