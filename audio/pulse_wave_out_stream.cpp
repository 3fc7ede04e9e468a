#include "audio/pulse_wave_out_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/pulse_wave_out.h"
#include "audio/wave_header_flags.h"
#include "engine/driver_protocol.h"
#include "engine/wave_output.h"
#include "platform/debug_output.h"

namespace audio {

using engine::MmResult;
using engine::WaveHeader;

namespace {

// Done marks follow the stream's clock, read whenever the engine writes (once per block), when the server asks
// for data or runs dry, and at least this often: the engine's queue regulation reads them before it writes,
// and after a pause in its input, marks as old as the pause would make it drop blocks.
constexpr pa_usec_t kDoneCheckUs = 20000;
// A clock that has not moved for this long while buffers are queued asks the server for a timing report.
constexpr pa_usec_t kClockStallUs = 20000;
// And one is asked for at least this often while playing: between reports the clock is only extrapolated,
// and on PipeWire's pulse server it drifts 5 to 10 ms (tens of ms when the machine stalls) before the next
// one sets it right; the queue regulation would read that as a buffer more or less queued.
constexpr pa_usec_t kTimingRefreshUs = 100000;
// A sink that refused the stream is tried again after this long (or at once when the sinks change).
constexpr pa_usec_t kRetryUs = 500000;
// How long a gap in the writes is remembered. After a stall the engine writes what piled up at once, and the
// underrun the stall caused may be read only after that: the gap must still be known then.
constexpr pa_usec_t kGapMemoryUs = 1000000;
// How long a stream plays after its start or an underrun before its depth steers the rate.
constexpr pa_usec_t kSettleUs = 1000000;

double BlockUs(uint32_t blockBytes, const pa_sample_spec& format) {
  return double(blockBytes) / double(pa_frame_size(&format)) * 1e6 / format.rate;
}

}  // namespace

PulseWaveOutStream::PulseWaveOutStream(PulseWaveOutSystem& system, const std::string& description,
                                       const pa_sample_spec& sampleFormat, uint32_t blockBytes)
    : system_(system),
      connection_(system.connection_),
      description_(description),
      sampleFormat_(sampleFormat),
      blockBytes_(blockBytes),
      rateControl_(BlockUs(blockBytes, sampleFormat), system.learnedMarginUs_),
      converter_(sampleFormat.channels, int(pa_sample_size(&sampleFormat) * 8),
                 int(engine::kMaxBlockBytes / pa_frame_size(&sampleFormat))),
      converted_(
          size_t(engine::RateConverter::MaxOutputFrames(int(engine::kMaxBlockBytes / pa_frame_size(&sampleFormat)))) *
          pa_frame_size(&sampleFormat)) {
  targetUs_ = rateControl_.TargetUs();
}

PulseWaveOutStream::~PulseWaveOutStream() {
  platform::LoopLock lock(connection_);
  auto& streams = system_.streams_;
  streams.erase(std::remove(streams.begin(), streams.end(), this), streams.end());
  system_.learnedMarginUs_ = rateControl_.MarginUs();  // the next stream starts from what this one learned
  FinishAll();
  Disconnect();
  if (timer_) connection_.Loop()->Api()->time_free(timer_);
}

void PulseWaveOutStream::Follow(const std::vector<OutputCandidate>& sinks, bool moved) {
  if (closed_) return;
  std::string startDefault;
  {
    std::lock_guard<std::mutex> lock(system_.sinksMutex_);
    startDefault = system_.startDefault_;
  }
  const OutputChoice choice = ChooseOutputDevice(sinks, description_, startDefault);
  const std::string target = choice.index >= 0 ? sinks[size_t(choice.index)].name : std::string();
  {
    std::lock_guard<std::mutex> lock(system_.sinksMutex_);
    system_.playing_ = choice.index >= 0 ? sinks[size_t(choice.index)].description : std::string();
  }
  if (target != sinkName_) {
    // What was queued on a sink that went away is lost with it; the engine tops its queue up again.
    if (moved && ready_ && !target.empty())
      UnsendUnplayed();
    else
      FinishAll();
    Disconnect();
    sinkName_ = target;
    retryAt_ = 0;
    if (target.empty() && !announced_.empty()) {
      platform::OutputDebugText("output: no real sink to play on");
      announced_.clear();
    }
  }
  if (!stream_ && wanted_ && !sinkName_.empty() && pa_rtclock_now() >= retryAt_) TryConnect();
}

void PulseWaveOutStream::TryConnect() {
  if (connection_.Ready() && connection_.Context() && Connect(sinkName_)) {
    if (announced_ != sinkName_) platform::OutputDebugText("output plays on \"" + sinkName_ + "\"");
    announced_ = sinkName_;
    return;
  }
  retryAt_ = pa_rtclock_now() + kRetryUs;
  ArmTimer(kRetryUs);
}

bool PulseWaveOutStream::Connect(const std::string& sinkName) {
  pa_channel_map map;
  if (!pa_channel_map_init_auto(&map, sampleFormat_.channels, PA_CHANNEL_MAP_DEFAULT))
    pa_channel_map_init_extend(&map, sampleFormat_.channels, PA_CHANNEL_MAP_DEFAULT);
  stream_ = pa_stream_new(connection_.Context(), "Tonvex output", &sampleFormat_, &map);
  if (!stream_) return false;
  sent_ = 0;
  lastPosition_ = 0;
  rateControl_.Restart();
  lastWrite_ = longestGap_ = longestGapAt_ = 0;
  converter_.Reset();
  rate_ = 1.0;
  lastMeasure_ = 0;
  pa_stream_set_state_callback(
      stream_, [](pa_stream*, void* self) { static_cast<PulseWaveOutStream*>(self)->OnState(); }, this);
  // Every request for data means the server has played on: a good moment to look at the clock.
  pa_stream_set_write_callback(
      stream_, [](pa_stream*, size_t, void* self) { static_cast<PulseWaveOutStream*>(self)->OnRequest(); }, this);
  // Running dry means everything sent has been played, even the last frames the clock has not passed yet.
  pa_stream_set_underflow_callback(
      stream_, [](pa_stream*, void* self) { static_cast<PulseWaveOutStream*>(self)->OnUnderflow(); }, this);
  // Playing again once the target depth is queued: the clock moves from here on, which the last timing report
  // (taken while it stood still) does not say.
  pa_stream_set_started_callback(
      stream_, [](pa_stream*, void* self) { static_cast<PulseWaveOutStream*>(self)->RequestTiming(); }, this);
  pa_buffer_attr attr;
  std::memset(&attr, 0xff, sizeof attr);
  // How much is queued is this stream's business (its rate correction). The server's own latency is what both
  // PulseAudio and PipeWire's pulse server make of these: (tlength - 2 minreq) / 2, half a block, which keeps
  // PipeWire's quantum small; a request for data needs two blocks of room, so requests (each a wake-up of the
  // mainloop thread, and the engine writes on its own anyway) come seldom.
  attr.tlength = 5 * blockBytes_;
  attr.minreq = 2 * blockBytes_;
  // The server starts playing, at a stream's start and again after it ran dry, only once the target depth is
  // queued: the stream starts at its target with the sound itself, not behind inserted silence.
  prebuf_ = TargetBytes();
  attr.prebuf = prebuf_;
  // The server must never move the stream (when its sink goes, the default is the virtual device: a loop);
  // where it plays when its sink goes is decided here.
  // The rate correction is made here (engine::RateConverter): a stream whose rate may change goes through the
  // server's resampler even at the nominal rate, and PulseAudio's default one takes 2 to 3 dB off 19 and 20 kHz.
  const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                       PA_STREAM_NOT_MONOTONIC | PA_STREAM_DONT_MOVE);
  // It starts at its own volume: muted until the engine opens the output, never louder than asked.
  const pa_cvolume volume = Volume();
  if (pa_stream_connect_playback(stream_, sinkName.c_str(), &attr, flags, &volume, nullptr) < 0) {
    Disconnect();
    return false;
  }
  ArmTimer(kDoneCheckUs);
  return true;
}

void PulseWaveOutStream::ArmTimer(pa_usec_t delay) {
  platform::ArmLoopTimer(
      connection_.Loop()->Api(), timer_, delay,
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        static_cast<PulseWaveOutStream*>(self)->OnTimer();
      },
      this);
}

void PulseWaveOutStream::Disconnect() {
  if (timingUpdate_) {
    pa_operation_cancel(timingUpdate_);
    pa_operation_unref(timingUpdate_);
    timingUpdate_ = nullptr;
  }
  if (timer_) connection_.Loop()->Api()->time_restart(timer_, nullptr);
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
      DropBacklog();
      SendUnsent();
      break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
      // Its sink went away (the server does not move it) or refused it, or the server is gone. The sinks'
      // next change decides where it plays; the same sink is tried again only after a pause.
      platform::OutputDebugText("output stream on " + sinkName_ + " ended");
      FinishAll();
      Disconnect();
      retryAt_ = pa_rtclock_now() + kRetryUs;
      ArmTimer(kRetryUs);
      break;
    default: break;
  }
}

void PulseWaveOutStream::DropBacklog() {
  // Whatever piled up while the stream was being made (at a start or a move, longer on a loaded machine) would
  // stay as latency for as long as it plays; only the newest blocks, as many as the target depth holds, are kept.
  const size_t keep = std::max<size_t>(1, size_t(rateControl_.TargetUs() / BlockUs(blockBytes_, sampleFormat_)));
  while (count_ > keep && queue_[head_].end == 0) {
    MarkHeaderDone(*queue_[head_].header);
    head_ = (head_ + 1) % kQueueCapacity;
    --count_;
  }
}

double PulseWaveOutStream::BytesToUs(double bytes) const {
  return bytes / pa_frame_size(&sampleFormat_) * 1e6 / sampleFormat_.rate;
}

uint32_t PulseWaveOutStream::TargetBytes() const {
  const size_t frame = pa_frame_size(&sampleFormat_);
  const size_t bytes = pa_usec_to_bytes(pa_usec_t(rateControl_.TargetUs()), &sampleFormat_);
  return uint32_t(std::max(frame, bytes - bytes % frame));
}

void PulseWaveOutStream::FollowTarget() {
  targetUs_.store(rateControl_.TargetUs(), std::memory_order_relaxed);
  const uint32_t wanted = TargetBytes();
  if (!ready_ || wanted == prebuf_) return;
  const pa_buffer_attr* current = pa_stream_get_buffer_attr(stream_);
  if (!current) return;
  pa_buffer_attr attr = *current;
  attr.prebuf = wanted;
  pa_operation* op = pa_stream_set_buffer_attr(stream_, &attr, nullptr, nullptr);
  if (!op) return;
  pa_operation_unref(op);
  prebuf_ = wanted;
}

void PulseWaveOutStream::RequestTiming() {
  if (timingUpdate_ || !ready_) return;
  lastUpdate_ = pa_rtclock_now();
  timingUpdate_ = pa_stream_update_timing_info(stream_, nullptr, nullptr);
}

size_t PulseWaveOutStream::Converted(const WaveHeader& header) {
  const size_t frame = pa_frame_size(&sampleFormat_);
  const int frames = int(std::min<size_t>(header.bufferLength, engine::kMaxBlockBytes) / frame);
  converter_.SetRatio(rate_);
  return size_t(converter_.Process(header.data, frames, converted_.data())) * frame;
}

void PulseWaveOutStream::SendUnsent() {
  if (!ready_) return;
  for (size_t i = 0; i < count_; ++i) {
    Queued& item = queue_[(head_ + i) % kQueueCapacity];
    if (item.end != 0) continue;
    WaveHeader& header = *item.header;
    const size_t length = Converted(header);
    if (pa_stream_write(stream_, converted_.data(), length, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
      FinishAll();
      return;
    }
    sent_ += length;
    item.end = sent_;
  }
}

void PulseWaveOutStream::OnTimer() {
  if (stream_) {
    OnRequest();
  } else if (!closed_ && wanted_ && connection_.Ready()) {
    retryAt_ = 0;
    Follow(system_.Candidates());
  }
}

void PulseWaveOutStream::OnRequest() {
  // Each check on the mainloop thread pushes the timer back, so it only fires while nothing else checks.
  ArmTimer(kDoneCheckUs);
  CheckPlayed();
}

bool PulseWaveOutStream::PlayedBytes(uint64_t* position) {
  // Worked out here rather than read from libpulse's interpolated clock: that clock converts the server's byte
  // counts to time at the stream's current rate, so every rate change would move it by up to 1 % of all that
  // was ever played.
  const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
  if (!timing || timing->read_index_corrupt) return false;
  const double bytesPerUs = double(pa_frame_size(&sampleFormat_)) * sampleFormat_.rate / 1e6;
  double played = double(timing->read_index) - double(timing->sink_usec) * bytesPerUs;
  if (timing->playing) played += double(pa_timeval_age(&timing->timestamp)) * bytesPerUs;
  *position = played > 0 ? uint64_t(played) : 0;
  return true;
}

void PulseWaveOutStream::CheckPlayed() {
  if (!ready_ || count_ == 0) return;
  uint64_t position = 0;
  if (!PlayedBytes(&position)) return;
  // The position is interpolated between the server's timing reports, which libpulse alone spaces out to 1.5 s;
  // after an underrun it stands still until the next one. Ask for a report every tenth of a second, and
  // whenever the clock has not moved for a while, so done marks follow the real playback.
  // Past an underrun it runs on beyond everything sent, which no playback can: a report is asked for at once.
  // Until it comes, what was written since may be marked done early; that only makes the engine top its queue
  // up, while marking nothing would make it drop blocks.
  const pa_usec_t now = pa_rtclock_now();
  const bool overrun = position > sent_;
  if (position != lastPosition_) {
    lastPosition_ = position;
    lastMove_ = now;
  }
  const bool reportDue = overrun || now - lastMove_ > kClockStallUs || now - lastUpdate_ > kTimingRefreshUs;
  if (timingUpdate_ && pa_operation_get_state(timingUpdate_) != PA_OPERATION_RUNNING) {
    pa_operation_unref(timingUpdate_);
    timingUpdate_ = nullptr;
  }
  if (reportDue && now - lastUpdate_ > kClockStallUs) RequestTiming();
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

void PulseWaveOutStream::OnUnderflow() {
  FinishSent();
  underruns_.fetch_add(1, std::memory_order_relaxed);
  rateControl_.OnUnderrun(double(RecentWriteGap(pa_rtclock_now())));
  FollowTarget();
}

void PulseWaveOutStream::NoteWriteTime(pa_usec_t now) {
  const pa_usec_t gap = lastWrite_ ? now - lastWrite_ : 0;
  if (gap >= longestGap_ || now - longestGapAt_ > kGapMemoryUs) {
    longestGap_ = gap;
    longestGapAt_ = now;
  }
  lastWrite_ = now;
}

pa_usec_t PulseWaveOutStream::RecentWriteGap(pa_usec_t now) const {
  const pa_usec_t sinceWrite = lastWrite_ ? now - lastWrite_ : 0;
  return now - longestGapAt_ <= kGapMemoryUs ? std::max(sinceWrite, longestGap_) : sinceWrite;
}

void PulseWaveOutStream::NoteDepthBeforeWrite() {
  uint64_t position = 0;
  if (!ready_ || !PlayedBytes(&position) || !pa_stream_get_timing_info(stream_)->playing) return;
  rateControl_.NoteLowest(BytesToUs(double(sent_) - double(position)));
}

void PulseWaveOutStream::SteerRate() {
  uint64_t position = 0;
  if (!ready_ || !PlayedBytes(&position)) return;
  const pa_usec_t now = pa_rtclock_now();
  // A stream that does not play yet (a sink that has just appeared renders seconds ahead first) or has only just
  // come back from an underrun tells nothing yet about the depth it keeps, and a rate change then keeps
  // PulseAudio's new sink silent for longer: the rate is left alone until the stream has played a while.
  const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
  if (!timing->playing || timing->since_underrun < int64_t(pa_usec_to_bytes(kSettleUs, &sampleFormat_))) {
    lastMeasure_ = now;
    return;
  }
  const double depthUs = BytesToUs(double(sent_) - double(position));
  const double rate = rateControl_.Update(depthUs, lastMeasure_ ? double(now - lastMeasure_) : 0.0);

  lastMeasure_ = now;
  depthUs_.store(depthUs, std::memory_order_relaxed);
  correction_.store(rate - 1, std::memory_order_relaxed);
  rate_ = rate;
  FollowTarget();
}

engine::QueueTiming PulseWaveOutStream::Timing() const {
  return {depthUs_.load(std::memory_order_relaxed) / 1000, targetUs_.load(std::memory_order_relaxed) / 1000,
          correction_.load(std::memory_order_relaxed), underruns_.load(std::memory_order_relaxed)};
}

void PulseWaveOutStream::FinishAll() { FinishUpTo(UINT64_MAX, true); }

void PulseWaveOutStream::UnsendUnplayed() {
  CheckPlayed();
  for (size_t i = 0; i < count_; ++i) queue_[(head_ + i) % kQueueCapacity].end = 0;
}

pa_cvolume PulseWaveOutStream::Volume() const {
  pa_cvolume volume;
  pa_cvolume_init(&volume);
  volume.channels = sampleFormat_.channels;
  const double left = double(volume_ & 0xFFFF) / 0xFFFF;
  const double right = double(volume_ >> 16) / 0xFFFF;
  for (int c = 0; c < sampleFormat_.channels; ++c)
    volume.values[c] = pa_sw_volume_multiply(pa_sw_volume_from_linear(c == 1 ? right : left), system_.mixerVolume_);
  return volume;
}

void PulseWaveOutStream::ApplyVolume() {
  if (!ready_) return;
  const pa_cvolume volume = Volume();
  pa_operation* op =
      pa_context_set_sink_input_volume(connection_.Context(), pa_stream_get_index(stream_), &volume, nullptr, nullptr);
  if (op) pa_operation_unref(op);
}

MmResult PulseWaveOutStream::Prepare(WaveHeader& header) { return PrepareHeader(header); }

MmResult PulseWaveOutStream::Unprepare(WaveHeader& header) { return UnprepareHeader(header); }

MmResult PulseWaveOutStream::Write(WaveHeader& header) {
  if (!(header.flags.load() & engine::kHeaderPrepared)) return engine::kWaveUnprepared;
  if (!header.data || header.bufferLength == 0 || header.bufferLength % pa_frame_size(&sampleFormat_) != 0)
    return engine::kMmInvalidHandle;
  platform::LoopLock lock(connection_);
  if (closed_) return engine::kMmInvalidHandle;
  if (!stream_) {
    // Connected at the first write, so a stream opened only to set volumes never touches a sink.
    wanted_ = true;
    if (sinkName_.empty() || pa_rtclock_now() < retryAt_) return engine::kMmNoDriver;  // nowhere to play now
    TryConnect();
    if (!stream_) return engine::kMmNoDriver;
  }
  // Done marks are brought up to date here, on the engine's thread, rather than in a wake-up of the mainloop
  // thread; before the write, since the write wakes that thread, which then waits for this lock.
  CheckPlayed();
  if (count_ == kQueueCapacity) return engine::kMmNoMemory;
  MarkHeaderQueued(header);
  queue_[(head_ + count_) % kQueueCapacity] = {&header, 0};
  ++count_;
  NoteWriteTime(pa_rtclock_now());
  NoteDepthBeforeWrite();
  SendUnsent();
  SteerRate();
  return engine::kMmNoError;
}

MmResult PulseWaveOutStream::Reset() {
  platform::LoopLock lock(connection_);
  FinishAll();
  if (closed_ || !stream_) return engine::kMmNoError;
  // A flushed stream's clock no longer matches what was sent, so the rest plays on a fresh stream, connected
  // at the next write.
  Disconnect();
  wanted_ = false;
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
  ApplyVolume();
  return closed_ ? engine::kMmInvalidHandle : engine::kMmNoError;
}

}  // namespace audio
