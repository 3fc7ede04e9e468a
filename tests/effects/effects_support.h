#pragma once
#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <thread>
#include <vector>

#include "engine/biquad.h"
#include "engine/channel_chain.h"
#include "engine/signal_buffer.h"
#include "platform/critical_section.h"

namespace effects_test {

inline constexpr double kPi = 3.141592653589793;

// Magnitude of a section's response at `hz`, in dB.
inline double ResponseDb(const engine::CBiquad& s, double hz, double rate) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / rate);
  const std::complex<double> z2 = z1 * z1;
  const std::complex<double> h = (s.B0() + s.B1() * z1 + s.B2() * z2) / (1.0 + s.A1() * z1 + s.A2() * z2);
  return 20.0 * std::log10(std::abs(h));
}

// Deterministic noise in [-amplitude, amplitude].
inline std::vector<double> Noise(int count, double amplitude, unsigned seed = 1) {
  std::vector<double> out(count);
  unsigned state = seed * 2654435761u + 12345u;
  for (double& v : out) {
    state = state * 1664525u + 1013904223u;
    v = amplitude * (double(state >> 8) / double(1u << 24) * 2.0 - 1.0);
  }
  return out;
}

inline void Load(engine::CSignalBuffer& buffer, const std::vector<double>& samples) {
  buffer.Resize(int(samples.size()));
  for (size_t i = 0; i < samples.size(); ++i) buffer[int(i)] = samples[i];
}

// Runs `samples` through one channel of a stage (CEqualizerBank, CCompressor, CLimiter); returns the output.
template <class Stage>
std::vector<double> RunSamples(Stage& stage, int channel, const std::vector<double>& samples) {
  engine::CSignalBuffer buffer(int(samples.size()));
  Load(buffer, samples);
  stage.Run(buffer, channel);
  return std::vector<double>(buffer.Data(), buffer.Data() + buffer.Count());
}

// Runs `count` samples of the constant `value` through one channel of a stage; returns the last output.
template <class Stage>
double RunConstant(Stage& stage, int channel, int count, double value) {
  return RunSamples(stage, channel, std::vector<double>(count, value)).back();
}

// The sine of `hz` from sample `start` on, as a plain vector.
inline std::vector<double> Sine(int count, double hz, double rate, double amplitude, long long start = 0) {
  std::vector<double> out(count);
  for (int i = 0; i < count; ++i) out[i] = amplitude * std::sin(2.0 * kPi * hz * double(start + i) / rate);
  return out;
}

// The envelope detector written out plainly from its description, to hold the engine's block-wise, chunked
// version to: two cookbook low-pass sections of quality 0.5 at trunc(1 / t) Hz (t at least its minimum,
// the cut-off at least 1 Hz, an identity from half the rate up); the one that matches the level's direction
// runs, and the other is set to a steady history at its result.
class ReferenceFollower {
 public:
  ReferenceFollower(double rate, double attack, double minimumAttack, double release, double minimumRelease)
      : attack_(rate, std::max(attack, minimumAttack)), release_(rate, std::max(release, minimumRelease)) {}
  double Next(double magnitude) {
    const bool rising = magnitude > envelope_;
    envelope_ = (rising ? attack_ : release_).Filter(magnitude);
    (rising ? release_ : attack_).Hold(envelope_);
    return envelope_;
  }

 private:
  struct Smoother {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    Smoother(double rate, double seconds) {
      const double hz = std::max(1.0, std::trunc(1.0 / seconds));
      if (hz >= rate / 2) return;
      const double w = 2 * kPi * hz / rate, alpha = std::sin(w), a0 = 1 + alpha;  // alpha = sin w / (2 Q)
      b0 = b2 = (1 - std::cos(w)) / 2 / a0;
      b1 = (1 - std::cos(w)) / a0;
      a1 = -2 * std::cos(w) / a0;
      a2 = (1 - alpha) / a0;
    }
    double Filter(double x) {
      const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
      x2 = x1, x1 = x, y2 = y1, y1 = y;
      return y;
    }
    void Hold(double level) { x1 = x2 = y1 = y2 = level; }
  };
  Smoother attack_, release_;
  double envelope_ = 0.0;
};

// Parameters as the panels leave them when nothing is boosted: unity volume, a transparent compressor,
// the limiter at full scale.
inline void NeutralSettings(engine::ProcessingParameters& p) {
  for (int ch = 0; ch < engine::kChannels; ++ch) {
    p.volume.gain[ch] = 1.0;
    p.SetCompressorChannel(60, 1.0, 0.01, 0.1, 70, ch);
  }
}

// A channel chain at `rate` with its parameters set by `configure`, and a buffer per channel.
struct TestChain {
  engine::ProcessingParameters p;
  engine::CChannelChain chain{p};
  engine::CSignalBuffer buffers[2] = {engine::CSignalBuffer(8192), engine::CSignalBuffer(8192)};
  engine::CSignalBuffer &left = buffers[0], &right = buffers[1];
  explicit TestChain(void (*configure)(engine::ProcessingParameters&) = NeutralSettings, int rate = 44100) {
    configure(p);
    chain.FollowSampleRate(rate);
  }
  // One stereo block through the product's path; returns the left channel.
  std::vector<double> Block(const std::vector<double>& leftSamples, const std::vector<double>& rightSamples) {
    Load(left, leftSamples);
    Load(right, rightSamples);
    chain.Run(buffers, 2);
    return std::vector<double>(left.Data(), left.Data() + left.Count());
  }
  // The buffers as they are through the chain channel by channel, as a stream of `channels` channels.
  void Channels(int channels) {
    for (int ch = 0; ch < channels; ++ch) chain.RunChannel(buffers[ch], ch, channels);
  }
};

// Holds a lock on another thread until released, as a panel does while it writes or the monitor while it
// copies a reading.
class LockHolder {
 public:
  explicit LockHolder(platform::CriticalSection& lock)
      : worker_([this, &lock] {
          const platform::Guard hold(lock);
          held_ = true;
          while (!release_) std::this_thread::yield();
        }) {
    while (!held_) std::this_thread::yield();
  }
  ~LockHolder() { release_ = true, worker_.join(); }

 private:
  std::atomic<bool> held_{false}, release_{false};
  std::thread worker_;  // declared last: it starts once the flags exist
};

}  // namespace effects_test
