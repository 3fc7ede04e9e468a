#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <limits>

#include "platform/critical_section.h"
#include "platform/event.h"

namespace engine {

inline constexpr int kChannels = 2;  // the chain holds state for left (0) and right (1)
inline constexpr int kBandCount = 8;
inline constexpr std::array<int, kBandCount> kBandFrequencies = {25, 63, 160, 400, 1000, 2500, 6300, 16000};

// The channel the level monitor reads: one side, or both in turn.
enum class MonitorSide : uint8_t { kLeft, kRight, kBoth };

// Full scale (amplitude 1.0) in dB SPL, and with an external amplifier connected.
inline constexpr double kFullScaleDbSpl = 96.0;
inline constexpr double kAmplifiedFullScaleDbSpl = 116.0;

// The ranges of the panels' sliders. The writers hold every value that reaches the engine to them, whoever
// calls (panels, configuration files, command line), so no filter is ever designed from a value the user
// could not have set: a damaged file cannot make a +1000 dB band or a smoother that never releases.
inline constexpr double kMinimumBandGainDb = -36.0;
inline constexpr double kMaximumBandGainDb = 12.0;
struct CompressorRange {
  static constexpr int kMinimumThreshold = 0, kMaximumThreshold = 60;  // dB SPL
  static constexpr int kMinimumCenter = 50, kMaximumCenter = 70;       // dB SPL
  static constexpr double kMinimumRatio = 1.0, kMaximumRatio = 30.0;
  static constexpr double kMinimumAttack = 0.0, kMaximumAttack = 0.1;     // s
  static constexpr double kMinimumRelease = 0.01, kMaximumRelease = 1.0;  // s
};
struct LimiterRange {
  static constexpr int kMinimumLevel = 48, kMaximumLevel = 120;           // dB SPL
  static constexpr double kMinimumAttack = 0.0, kMaximumAttack = 0.02;    // s
  static constexpr double kMinimumRelease = 0.01, kMaximumRelease = 1.0;  // s
};

// Record index of a band: channel + 2 * band.
constexpr int BandIndex(int band, int channel) { return channel + 2 * band; }

// Each block holds what the user interface writes under `lock` and the processing thread reads after only
// trying it (GUARDED_BY), beside the flags that the processing thread tests without the lock (atomic).
struct EqualizerBandDesign {
  int frequency = 0;
  double gain = 0.0;  // dB
};

struct EqualizerBand {
  std::atomic<uint8_t> dirty{0};
  std::atomic<uint8_t> enabled{1};  // managed by the processing thread
};

struct EqualizerParameters {
  EqualizerParameters();
  // The stored gain of a band (BandIndex), read under the lock.
  double Gain(int index);

  platform::CriticalSection lock;  // equalizerLock
  std::array<EqualizerBandDesign, 2 * kBandCount> design GUARDED_BY(lock);
  std::array<EqualizerBand, 2 * kBandCount> bands;
};

struct CompressorChannel {
  // log10 of amplitude; read for every chunk of 256 samples without the lock, so they act at once.
  std::atomic<double> threshold{0.0};
  std::atomic<double> center{0.0};
  std::atomic<double> rate{0.0};
  std::atomic<uint8_t> dirty{0};
};

// The envelope's attack and release times, in seconds.
struct SmootherTimes {
  double attack = 0.0;
  double release = 0.0;
};

struct CompressorSettings {
  platform::CriticalSection lock;  // compressorLock
  std::array<SmootherTimes, kChannels> times GUARDED_BY(lock);
  std::array<CompressorChannel, kChannels> channel;
};

struct LimiterValues {
  int level = 96;  // dB SPL
  double attack = 0.001;
  double release = 0.5;
};

struct LimiterChannel {
  std::atomic<uint8_t> dirty{0};
  // Linear; derived by the processing thread at each redesign. Until the first (which a busy lock can put
  // off by a block), nothing is limited rather than everything silenced.
  double limit = std::numeric_limits<double>::infinity();
  int amplificatorSeen = 0;  // processing thread only
};

struct LimiterSettings {
  // The stored level of a channel in dB SPL, read under the lock.
  int Level(int channel);

  platform::CriticalSection lock;  // limiterLock
  std::array<LimiterValues, kChannels> values GUARDED_BY(lock);
  std::array<LimiterChannel, kChannels> channel;
};

// Single aligned values, written by the user interface and read by the processing thread without a lock.
struct VolumeSettings {
  std::array<std::atomic<double>, kChannels> gain{};  // linear
  std::atomic<int> gather{0};
};

// A one-reading exchange between the monitor (asks, waits up to 80 ms) and the processing thread (answers).
struct MonitorExchange {
  std::atomic<uint8_t> request{0};
  std::atomic<MonitorSide> side{MonitorSide::kLeft};
  std::atomic<uint8_t> secondPending{0};
  platform::Event reply{platform::Event::Mode::AutoReset};
  // Results: written by the processing thread, read by the monitor; `resultsLock` keeps a late answer
  // from being read while the next one is written.
  platform::CriticalSection resultsLock;
  std::array<double, kBandCount> bandLevel GUARDED_BY(resultsLock){};
  double total GUARDED_BY(resultsLock) = 0.0;
};

// Every shared block through which the user interface steers the engine.
struct ProcessingParameters {
  EqualizerParameters equalizer;
  CompressorSettings compressor;
  LimiterSettings limiter;
  VolumeSettings volume;
  std::atomic<int> amplificator{0};
  // Set: the chain plays its input untouched (after a short crossfade); the stages and the monitor run on.
  std::atomic<uint8_t> bypass{0};
  MonitorExchange monitor;
  // Set while the audio-program warning waits for sound; the processing thread clears it when a block arrives.
  std::atomic<int> warningPending{0};

  // Writers: each takes its block's lock (blocking), stores the values held to the ranges above (a value
  // that is not a number counts as the range's low end; a gain that is not a number as 0 dB), and marks
  // the channel dirty.
  void SetEqualizerBandGain(int band, double gainDb, int channel);
  void SetCompressorChannel(int thresholdDbSpl, double rate, double attack, double release, int centerDbSpl,
                            int channel);
  void SetLimiterChannel(int levelDbSpl, int channel, double attack, double release);
};

// The process-wide blocks that the application's panels and its engine share.
ProcessingParameters& Parameters();

}  // namespace engine
