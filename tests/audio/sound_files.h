#pragma once
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace audio_test {

using testing_support::ScratchDir;

// Interleaved test signal: left a 1 kHz tone over a 100 Hz one, right a 250 Hz tone over noise; both busy
// enough to move every stage and quiet enough not to clip.
inline std::vector<double> TestSignal(int rate, int channels, int frames) {
  std::vector<double> samples(size_t(frames) * channels);
  uint32_t seed = 12345;
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    samples[size_t(i) * channels] = 0.3 * std::sin(2 * M_PI * 1000 * t) + 0.2 * std::sin(2 * M_PI * 100 * t);
    if (channels > 1) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = (double(seed >> 8) / double(1 << 24) - 0.5) * 0.2;
      samples[size_t(i) * channels + 1] = 0.4 * std::sin(2 * M_PI * 250 * t) + noise;
    }
  }
  return samples;
}

inline bool WriteSound(const std::string& path, int format, int rate, int channels,
                       const std::vector<double>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  const sf_count_t frames = sf_count_t(samples.size() / channels);
  const bool ok = sf_writef_double(file, samples.data(), frames) == frames;
  sf_close(file);
  return ok;
}

inline std::vector<double> ReadSound(const std::string& path, SF_INFO* info) {
  *info = SF_INFO{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, info);
  if (!file) return {};
  std::vector<double> samples(size_t(info->frames) * info->channels);
  sf_readf_double(file, samples.data(), info->frames);
  sf_close(file);
  return samples;
}

}  // namespace audio_test
