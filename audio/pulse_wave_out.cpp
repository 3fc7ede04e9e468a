#include "audio/pulse_wave_out.h"

#include <cstring>

#include "audio/wave_header_flags.h"
#include "platform/debug_output.h"

namespace audio {

using engine::MmResult;
using engine::WaveHeader;

namespace {

// Done marks follow the server's requests for data (one per 10 ms block while playing); the timer only
// covers the times without requests.
constexpr pa_usec_t kDoneCheckUs = 20000;

bool SampleFormatFor(const engine::WaveFormat& format, pa_sample_spec* sampleFormat) {
  if (format.formatTag != engine::kWaveFormatPcm || format.channels == 0 || format.channels > PA_CHANNELS_MAX)
    return false;
  switch (format.bitsPerSample) {
    case 8: sampleFormat->format = PA_SAMPLE_U8; break;
    case 16: sampleFormat->format = PA_SAMPLE_S16LE; break;
    case 24: sampleFormat->format = PA_SAMPLE_S24LE; break;
    case 32: sampleFormat->format = PA_SAMPLE_S32LE; break;
    default: return false;
  }
  sampleFormat->rate = format.samplesPerSec;
  sampleFormat->channels = uint8_t(format.channels);
  if (!pa_sample_spec_valid(sampleFormat)) return false;
  return format.blockAlign == pa_frame_size(sampleFormat);
}

}  // namespace

PulseWaveOutSystem::PulseWaveOutSystem()
    : connection_("Tonvex output",
                  {[this](pa_context*) { Refresh(); },
                   [this] {
                     std::lock_guard<std::mutex> lock(sinksMutex_);
                     sinks_.clear();
                     refreshing_ = refreshAgain_ = false;
                   },
                   [this](pa_subscription_event_type_t type, uint32_t) {
                     if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK) Refresh();
                   }}) {}

PulseWaveOutSystem::~PulseWaveOutSystem() { connection_.Shutdown(); }

bool PulseWaveOutSystem::Start(int timeoutMs) {
  return connection_.Start() && platform::WaitForFlag(listed_, timeoutMs);
}

void PulseWaveOutSystem::Refresh() {
  if (!connection_.Context()) return;
  if (refreshing_) {
    refreshAgain_ = true;
    return;
  }
  refreshing_ = true;
  refreshAgain_ = false;
  listing_.clear();
  pa_operation* op = pa_context_get_sink_info_list(
      connection_.Context(),
      [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
        auto* self = static_cast<PulseWaveOutSystem*>(userdata);
        if (!eol && info) {
          self->listing_.push_back({info->index, info->name ? info->name : "",
                                    info->description ? info->description : (info->name ? info->name : ""),
                                    info->sample_spec.channels});
          return;
        }
        self->refreshing_ = false;
        if (eol > 0) {
          std::lock_guard<std::mutex> lock(self->sinksMutex_);
          self->sinks_.swap(self->listing_);
          self->listed_ = true;
        }
        if (self->refreshAgain_) self->Refresh();
      },
      this);
  if (op)
    pa_operation_unref(op);
  else
    refreshing_ = false;
}

bool PulseWaveOutSystem::SinkAt(unsigned index, Sink* sink) {
  std::lock_guard<std::mutex> lock(sinksMutex_);
  if (index >= sinks_.size()) return false;
  *sink = sinks_[index];
  return true;
}

unsigned PulseWaveOutSystem::DeviceCount() {
  std::lock_guard<std::mutex> lock(sinksMutex_);
  return unsigned(sinks_.size());
}

MmResult PulseWaveOutSystem::DeviceName(unsigned index, std::string* name) {
  Sink sink;
  if (!SinkAt(index, &sink)) return engine::kMmBadDeviceId;
  *name = sink.description;
  return engine::kMmNoError;
}

std::string PulseWaveOutSystem::SinkName(unsigned index) {
  Sink sink;
  return SinkAt(index, &sink) ? sink.name : std::string();
}

MmResult PulseWaveOutSystem::Open(unsigned index, const engine::WaveFormat& format,
                                  std::unique_ptr<engine::IWaveOutStream>* stream) {
  Sink sink;
  if (!SinkAt(index, &sink)) return engine::kMmBadDeviceId;
  pa_sample_spec sampleFormat;
  if (!SampleFormatFor(format, &sampleFormat)) return engine::kWaveBadFormat;
  if (!connection_.Ready()) return engine::kMmNoDriver;
  uint32_t frames = sampleFormat.rate / 100;
  auto created = std::make_unique<PulseWaveOutStream>(connection_, sink.name, sampleFormat,
                                                      uint32_t(frames ? frames : 1) * format.blockAlign);
  {
    platform::LoopLock lock(connection_);
    if (!connection_.Context() || !created->Connect()) return engine::kMmNoDriver;
  }
  *stream = std::move(created);
  return engine::kMmNoError;
}

bool PulseWaveOutSystem::SetMixerVolume(unsigned index, unsigned percent) {
  Sink sink;
  if (!SinkAt(index, &sink) || !connection_.Ready()) return false;
  pa_cvolume volume;
  pa_cvolume_set(&volume, sink.channels ? sink.channels : 1,
                 pa_volume_t(uint64_t(PA_VOLUME_NORM) * std::min(percent, 100u) / 100));
  platform::LoopLock lock(connection_);
  if (!connection_.Context()) return false;
  pa_operation* op = pa_context_set_sink_volume_by_index(connection_.Context(), sink.index, &volume, nullptr, nullptr);
  if (!op) return false;
  pa_operation_unref(op);
  return true;
}

PulseWaveOutStream::PulseWaveOutStream(platform::PulseConnection& connection, const std::string& sinkName,
                                       const pa_sample_spec& sampleFormat, uint32_t blockBytes)
    : connection_(connection), sinkName_(sinkName), sampleFormat_(sampleFormat), blockBytes_(blockBytes) {}

PulseWaveOutStream::~PulseWaveOutStream() {
  platform::LoopLock lock(connection_);
  FinishAll();
  Disconnect();
}

bool PulseWaveOutStream::Connect() {
  pa_channel_map map;
  if (!pa_channel_map_init_auto(&map, sampleFormat_.channels, PA_CHANNEL_MAP_DEFAULT))
    pa_channel_map_init_extend(&map, sampleFormat_.channels, PA_CHANNEL_MAP_DEFAULT);
  stream_ = pa_stream_new(connection_.Context(), "Tonvex output", &sampleFormat_, &map);
  if (!stream_) return false;
  pa_stream_set_state_callback(stream_, [](pa_stream*, void* self) { static_cast<PulseWaveOutStream*>(self)->OnState(); },
                               this);
  // Every request for data means the server has played on: a good moment to look at the clock.
  pa_stream_set_write_callback(
      stream_, [](pa_stream*, size_t, void* self) { static_cast<PulseWaveOutStream*>(self)->CheckPlayed(); }, this);
  // Running dry means everything sent has been played, even the last frames the clock has not passed yet.
  pa_stream_set_underflow_callback(
      stream_, [](pa_stream*, void* self) { static_cast<PulseWaveOutStream*>(self)->FinishSent(); }, this);
  pa_buffer_attr attr;
  std::memset(&attr, 0xff, sizeof attr);
  // A short server buffer: how much is queued is the engine's business (its 2 to 7 buffers).
  attr.tlength = 3 * blockBytes_;
  attr.minreq = blockBytes_;
  attr.prebuf = blockBytes_;
  const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                       PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_NOT_MONOTONIC | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_playback(stream_, sinkName_.c_str(), &attr, flags, nullptr, nullptr) < 0) {
    Disconnect();
    return false;
  }
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(connection_.Mainloop());
  timeval when;
  pa_timeval_add(pa_gettimeofday(&when), kDoneCheckUs);
  timer_ = api->time_new(
      api, &when,
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        static_cast<PulseWaveOutStream*>(self)->OnTimer();
      },
      this);
  return true;
}

void PulseWaveOutStream::Disconnect() {
  if (timingUpdate_) {
    pa_operation_cancel(timingUpdate_);
    pa_operation_unref(timingUpdate_);
    timingUpdate_ = nullptr;
  }
  if (timer_) {
    pa_threaded_mainloop_get_api(connection_.Mainloop())->time_free(timer_);
    timer_ = nullptr;
  }
  if (stream_) {
    platform::ReleaseStream(stream_);
    stream_ = nullptr;
  }
  ready_ = false;
}

void PulseWaveOutStream::OnState() {
  switch (pa_stream_get_state(stream_)) {
    case PA_STREAM_READY:
      ready_ = true;
      ApplyVolume();
      SendUnsent();
      break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
      platform::OutputDebugText("output stream on " + sinkName_ + " ended");
      failed_ = true;
      FinishAll();
      Disconnect();
      break;
    default:
      break;
  }
}

void PulseWaveOutStream::SendUnsent() {
  if (!ready_) return;
  for (size_t i = 0; i < count_; ++i) {
    Queued& item = queue_[(head_ + i) % kQueueCapacity];
    if (item.end != 0) continue;
    WaveHeader& header = *item.header;
    if (pa_stream_write(stream_, header.data, header.bufferLength, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
      failed_ = true;
      FinishAll();
      return;
    }
    sent_ += header.bufferLength;
    item.end = sent_;
  }
}

void PulseWaveOutStream::OnTimer() { CheckPlayed(); }

void PulseWaveOutStream::CheckPlayed() {
  // Each check pushes the timer back, so it only fires while the server sends no requests.
  if (timer_) {
    timeval when;
    pa_timeval_add(pa_gettimeofday(&when), kDoneCheckUs);
    pa_threaded_mainloop_get_api(connection_.Mainloop())->time_restart(timer_, &when);
  }
  if (!ready_ || count_ == 0) return;
  pa_usec_t played = 0;
  if (pa_stream_get_time(stream_, &played) < 0) return;
  const uint64_t position = pa_usec_to_bytes(played, &sampleFormat_);
  // The clock is interpolated between the server's timing reports, which libpulse spaces out to more
  // than a second; after an underrun it stands still until the next one. Ask for a report whenever the
  // clock has not moved for a while, so done marks follow the real playback.
  const pa_usec_t now = pa_rtclock_now();
  if (position != lastPosition_) {
    lastPosition_ = position;
    lastMove_ = now;
  }
  if (now - lastMove_ > kDoneCheckUs && now - lastUpdate_ > kDoneCheckUs && !timingUpdate_) {
    lastUpdate_ = now;
    timingUpdate_ = pa_stream_update_timing_info(stream_, nullptr, nullptr);
  }
  if (timingUpdate_ && pa_operation_get_state(timingUpdate_) != PA_OPERATION_RUNNING) {
    pa_operation_unref(timingUpdate_);
    timingUpdate_ = nullptr;
  }
  FinishUpTo(position);
}

void PulseWaveOutStream::FinishUpTo(uint64_t position, bool unsentToo) {
  while (count_ > 0) {
    const Queued& item = queue_[head_];
    if ((item.end == 0 && !unsentToo) || item.end > position) break;
    MarkHeaderDone(*item.header);
    head_ = (head_ + 1) % kQueueCapacity;
    --count_;
  }
}

void PulseWaveOutStream::FinishSent() { FinishUpTo(UINT64_MAX); }

void PulseWaveOutStream::FinishAll() { FinishUpTo(UINT64_MAX, true); }

void PulseWaveOutStream::ApplyVolume() {
  if (!ready_) return;
  pa_cvolume volume;
  pa_cvolume_init(&volume);
  volume.channels = sampleFormat_.channels;
  const double left = double(volume_ & 0xFFFF) / 0xFFFF;
  const double right = double(volume_ >> 16) / 0xFFFF;
  for (int c = 0; c < sampleFormat_.channels; ++c) volume.values[c] = pa_sw_volume_from_linear(c == 1 ? right : left);
  pa_operation* op = pa_context_set_sink_input_volume(connection_.Context(), pa_stream_get_index(stream_), &volume,
                                                      nullptr, nullptr);
  if (op) pa_operation_unref(op);
}

MmResult PulseWaveOutStream::Prepare(WaveHeader& header) { return PrepareHeader(header); }

MmResult PulseWaveOutStream::Unprepare(WaveHeader& header) { return UnprepareHeader(header); }

MmResult PulseWaveOutStream::Write(WaveHeader& header) {
  if (!(header.flags.load() & engine::kHeaderPrepared)) return engine::kWaveUnprepared;
  if (!header.data || header.bufferLength == 0 || header.bufferLength % pa_frame_size(&sampleFormat_) != 0)
    return engine::kMmInvalidHandle;
  platform::LoopLock lock(connection_);
  if (failed_ || closed_ || !stream_) return engine::kMmInvalidHandle;
  if (count_ == kQueueCapacity) return engine::kMmNoMemory;
  MarkHeaderQueued(header);
  queue_[(head_ + count_) % kQueueCapacity] = {&header, 0};
  ++count_;
  SendUnsent();
  return failed_ ? engine::kMmInvalidHandle : engine::kMmNoError;
}

MmResult PulseWaveOutStream::Reset() {
  platform::LoopLock lock(connection_);
  FinishAll();
  if (failed_ || closed_ || !stream_) return engine::kMmNoError;
  // A flushed stream's clock no longer matches what was sent, so the rest plays on a fresh stream.
  Disconnect();
  sent_ = 0;
  if (!connection_.Context() || !Connect()) failed_ = true;
  return engine::kMmNoError;
}

MmResult PulseWaveOutStream::Close() {
  platform::LoopLock lock(connection_);
  if (count_ > 0) return engine::kWaveStillPlaying;
  closed_ = true;
  Disconnect();
  return engine::kMmNoError;
}

MmResult PulseWaveOutStream::SetVolume(uint32_t volume) {
  platform::LoopLock lock(connection_);
  volume_ = volume;
  if (stream_ && !failed_) ApplyVolume();
  return failed_ ? engine::kMmInvalidHandle : engine::kMmNoError;
}

}  // namespace audio
