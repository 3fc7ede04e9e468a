// tonvex-latency-probe SOURCE_IN SOURCE_OUT SECONDS
// tonvex-latency-probe --pace SOURCE
// tonvex-latency-probe --switch SOURCE_A SOURCE_B SECONDS
// Records two sources of the audio server at once (the virtual device's monitor and the sound card's) and
// measures how much later each tone burst played into the first arrives at the second: each burst's
// onset is found in the first recording, the matching stretch of the second is located by
// cross-correlation, and both are placed on one clock by the streams' own timing. Prints one line
// "bursts N median_ms M max_ms X gaps G", G counting the dropouts the path from the first source to the second
// added (see Gaps).
// With --pace it only records SOURCE in 10 ms pieces until it is stopped: a null sink whose monitor is read
// like this renders at a sound card's pace instead of two seconds ahead. The stream never follows a change
// of the default device.
// With --switch it records two sinks' monitors while a steady tone moves from the first sink to the second
// and prints "a_end T b_start T silence_ms S": when the tone was last heard on A and first on B (seconds on
// the monotonic clock) and the longest stretch in which neither played it.
#include <pulse/pulseaudio.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/pulse_connection.h"

namespace {

constexpr uint32_t kRate = 48000;

struct Chunk {
  size_t first;    // index of its first sample
  double capture;  // seconds on the process clock when that sample was captured
  double arrival;  // seconds on the process clock when the chunk was read, less its own length
};

struct Recording {
  pa_stream* stream = nullptr;
  std::vector<float> samples;
  std::vector<Chunk> chunks;

  double TimeOf(size_t index, double Chunk::*clock = &Chunk::capture) const {
    auto it =
        std::upper_bound(chunks.begin(), chunks.end(), index, [](size_t i, const Chunk& c) { return i < c.first; });
    if (it == chunks.begin()) return 0.0;
    --it;
    return (*it).*clock + double(index - it->first) / kRate;
  }
};

void OnRead(pa_stream* stream, size_t, void* userdata) {
  auto* recording = static_cast<Recording*>(userdata);
  const void* data = nullptr;
  size_t bytes = 0;
  while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
    pa_usec_t latency = 0;
    int negative = 0;
    const double now = double(pa_rtclock_now()) / 1e6;
    const double delay =
        pa_stream_get_latency(stream, &latency, &negative) == 0 && !negative ? double(latency) / 1e6 : 0.0;
    const size_t count = bytes / sizeof(float);
    if (data) {
      // The latency covers everything still buffered, the chunk being read included.
      recording->chunks.push_back({recording->samples.size(), now - delay, now - double(count) / kRate});
      const float* floats = static_cast<const float*>(data);
      recording->samples.insert(recording->samples.end(), floats, floats + count);
    }
    pa_stream_drop(stream);
  }
}

// Onsets: the first loud sample after at least 100 ms without one.
std::vector<size_t> Onsets(const std::vector<float>& x) {
  std::vector<size_t> onsets;
  size_t lastLoud = 0;
  bool any = false;
  for (size_t i = 0; i < x.size(); ++i) {
    if (std::fabs(x[i]) <= 0.1f) continue;
    if (any && i - lastLoud > kRate / 10) onsets.push_back(i);
    any = true;
    lastLoud = i;
  }
  return onsets;
}

constexpr float kStill = 1e-4f;  // -80 dBFS
constexpr size_t kShortestGap = kRate / 1000, kLongestGap = kRate / 10;

// The still stretches of a recording: at least 1 ms in which every sample stays below -80 dBFS, as [first, end).
std::vector<std::pair<size_t, size_t>> StillStretches(const std::vector<float>& x) {
  std::vector<std::pair<size_t, size_t>> stretches;
  for (size_t i = 0; i < x.size();) {
    if (std::fabs(x[i]) >= kStill) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < x.size() && std::fabs(x[end]) < kStill) ++end;
    if (end - i >= kShortestGap) stretches.push_back({i, end});
    i = end;
  }
  return stretches;
}

// Dropouts the path from IN to OUT added: still stretches of OUT of at most 100 ms with loud sound (above
// -34 dBFS) within 5 ms on both sides, and none in IN within the 100 ms before. A pause of the sound itself
// lasts longer, quiet noise is never that still for a millisecond, and a dropout that came in with the sound
// (a player that fell behind) is not the path's.
size_t Gaps(const Recording& in, const Recording& out) {
  constexpr float kLoud = 0.02f;
  constexpr size_t kSides = kRate / 200;
  const std::vector<float>& x = out.samples;
  const auto loudIn = [&](size_t from, size_t to) {
    return std::any_of(x.begin() + long(from), x.begin() + long(to), [](float v) { return std::fabs(v) > kLoud; });
  };
  std::vector<double> inStill;  // when each still stretch of IN began
  for (const auto& [first, end] : StillStretches(in.samples)) inStill.push_back(in.TimeOf(first));
  size_t gaps = 0;
  for (const auto& [first, end] : StillStretches(x)) {
    if (end - first > kLongestGap || first < kSides || end + kSides > x.size()) continue;
    if (!loudIn(first - kSides, first) || !loudIn(end, end + kSides)) continue;
    const double at = out.TimeOf(first);
    const bool cameIn = std::any_of(inStill.begin(), inStill.end(), [&](double t) { return t <= at && t > at - 0.1; });
    if (!cameIn) ++gaps;
  }
  return gaps;
}

}  // namespace

int Pace(const char* source) {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  platform::PulseConnection connection("Tonvex pacer", {});
  if (!connection.Start() || !connection.WaitReady(3000)) return 1;
  pa_stream* stream = nullptr;
  {
    platform::LoopLock lock(connection);
    const pa_sample_spec sampleFormat = {PA_SAMPLE_S16LE, kRate, 1};
    stream = pa_stream_new(connection.Context(), "pacer", &sampleFormat, nullptr);
    pa_stream_set_read_callback(
        stream,
        [](pa_stream* s, size_t, void*) {
          const void* data;
          size_t bytes;
          while (pa_stream_readable_size(s) > 0 && pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0)
            pa_stream_drop(s);
        },
        nullptr);
    pa_buffer_attr attr;
    std::fill_n(reinterpret_cast<uint8_t*>(&attr), sizeof attr, 0xff);
    attr.fragsize = kRate / 100 * 2;
    if (pa_stream_connect_record(stream, source, &attr,
                                 pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE)) < 0)
      return 1;
  }
  int signal = 0;
  sigwait(&stop, &signal);
  {
    platform::LoopLock lock(connection);
    platform::ReleaseStream(stream);
  }
  return 0;
}

// Records SOURCE_A and SOURCE_B at once for `seconds`, each piece placed on the process clock.
bool RecordBoth(const char* sourceA, const char* sourceB, double seconds, Recording (&recordings)[2]) {
  platform::PulseConnection connection("Tonvex latency probe", {});
  if (!connection.Start() || !connection.WaitReady(3000)) {
    std::fprintf(stderr, "no audio server\n");
    return false;
  }
  for (auto& r : recordings) r.samples.reserve(size_t(kRate * (seconds + 2)));
  {
    platform::LoopLock lock(connection);
    const pa_sample_spec sampleFormat = {PA_SAMPLE_FLOAT32LE, kRate, 1};
    for (int i = 0; i < 2; ++i) {
      Recording& r = recordings[i];
      r.stream = pa_stream_new(connection.Context(), i == 0 ? "probe in" : "probe out", &sampleFormat, nullptr);
      pa_stream_set_read_callback(r.stream, &OnRead, &r);
      pa_buffer_attr attr;
      std::fill_n(reinterpret_cast<uint8_t*>(&attr), sizeof attr, 0xff);
      // 10 ms, like the engine's own capture: smaller pieces would make both sinks render (and wake
      // everything downstream) more often than the program alone does.
      attr.fragsize = kRate / 100 * sizeof(float);
      const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                           PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_DONT_MOVE);
      if (pa_stream_connect_record(r.stream, i == 0 ? sourceA : sourceB, &attr, flags) < 0) {
        std::fprintf(stderr, "cannot record %s\n", i == 0 ? sourceA : sourceB);
        return false;
      }
    }
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  {
    platform::LoopLock lock(connection);
    for (auto& r : recordings) platform::ReleaseStream(r.stream);
  }
  connection.Shutdown();
  return true;
}

// A steady tone that moves from the sink of SOURCE_A to the sink of SOURCE_B: when it was last heard on A
// and first on B (seconds on the monotonic clock), and the longest stretch in which neither played it.
int Switch(const char* sourceA, const char* sourceB, double seconds) {
  Recording recordings[2];
  if (!RecordBoth(sourceA, sourceB, seconds, recordings)) return 1;
  constexpr float kLoud = 0.01f;  // -40 dB of full scale: far above a null sink's silence
  std::vector<double> loud;
  double lastA = -1, firstB = -1;
  for (int i = 0; i < 2; ++i) {
    const Recording& r = recordings[i];
    for (size_t k = 0; k < r.samples.size(); ++k) {
      if (std::fabs(r.samples[k]) <= kLoud) continue;
      // By arrival: both monitors are read alike, while the server's latency report for a sink that just got
      // its first stream is stale (by as much as the idle sink's latency, hundreds of ms) for a moment.
      const double at = r.TimeOf(k, &Chunk::arrival);
      loud.push_back(at);
      if (i == 0) lastA = at;
      if (i == 1 && firstB < 0) firstB = at;
    }
  }
  std::sort(loud.begin(), loud.end());
  double longest = 0;
  for (size_t k = 1; k < loud.size(); ++k) longest = std::max(longest, loud[k] - loud[k - 1]);
  std::printf("a_end %.3f b_start %.3f silence_ms %.1f\n", lastA, firstB, longest * 1000.0);
  return lastA > 0 && firstB > 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--pace") return Pace(argv[2]);
  if (argc == 5 && std::string(argv[1]) == "--switch") return Switch(argv[2], argv[3], std::atof(argv[4]));
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: tonvex-latency-probe SOURCE_IN SOURCE_OUT SECONDS | --pace SOURCE |"
                 " --switch SOURCE_A SOURCE_B SECONDS\n");
    return 2;
  }
  Recording recordings[2];
  if (!RecordBoth(argv[1], argv[2], std::atof(argv[3]), recordings)) return 1;

  const Recording& in = recordings[0];
  const Recording& out = recordings[1];
  std::vector<double> latencies;
  const size_t window = kRate / 50;  // 20 ms of the burst's start
  const size_t search = kRate / 4;   // up to 250 ms later
  for (size_t onset : Onsets(in.samples)) {
    const size_t from = onset > kRate / 500 ? onset - kRate / 500 : 0;  // from 2 ms before the onset
    if (from + window > in.samples.size()) break;
    const double inTime = in.TimeOf(from);
    // The first sample of the output recording captured at or after the input stretch.
    size_t start = 0;
    while (start < out.samples.size() && out.TimeOf(start) < inTime - 0.005) start += kRate / 1000;
    // Normalised by the output stretch's energy: music-like sound is louder in some places than others, and a
    // plain sum of products would match the loudest stretch within the search rather than the same sound.
    double best = 0;
    size_t bestAt = 0;
    for (size_t at = start; at < start + search && at + window < out.samples.size(); ++at) {
      double sum = 0, energy = 0;
      for (size_t k = 0; k < window; ++k) {
        sum += double(in.samples[from + k]) * out.samples[at + k];
        energy += double(out.samples[at + k]) * out.samples[at + k];
      }
      if (energy <= 1e-12) continue;  // silence matches nothing
      const double score = sum / std::sqrt(energy);
      if (score > best) {
        best = score;
        bestAt = at;
      }
    }
    if (best <= 0) continue;
    latencies.push_back((out.TimeOf(bestAt) - inTime) * 1000.0);
  }
  if (latencies.empty()) {
    std::printf("bursts 0 median_ms nan max_ms nan gaps %zu\n", Gaps(in, out));
    return 1;
  }
  std::vector<double> sorted = latencies;
  std::sort(sorted.begin(), sorted.end());
  std::printf("bursts %zu median_ms %.1f max_ms %.1f gaps %zu\n", sorted.size(), sorted[sorted.size() / 2],
              sorted.back(), Gaps(in, out));
  return 0;
}
