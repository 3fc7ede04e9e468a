#include "audio/pulse_wave_out.h"

#include <algorithm>

#include "audio/pulse_wave_out_stream.h"
#include "engine/driver_protocol.h"

namespace audio {

using engine::MmResult;

namespace {

bool SampleFormatFor(const engine::WaveFormat& format, pa_sample_spec* sampleFormat) {
  if (format.formatTag != engine::kWaveFormatPcm || format.channels == 0 || format.channels > PA_CHANNELS_MAX)
    return false;
  switch (format.bitsPerSample) {
    case 8: sampleFormat->format = PA_SAMPLE_U8; break;
    case 16: sampleFormat->format = PA_SAMPLE_S16LE; break;
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
                     {
                       std::lock_guard<std::mutex> lock(sinksMutex_);
                       sinks_.clear();
                     }
                     refreshing_ = refreshAgain_ = false;
                     Follow();
                   },
                   [this](pa_subscription_event_type_t, uint32_t) { Refresh(); }, PA_SUBSCRIPTION_MASK_SINK},
                  platform::SharedAudioLoop()) {}

PulseWaveOutSystem::~PulseWaveOutSystem() { connection_.Shutdown(); }

bool PulseWaveOutSystem::Start(int timeoutMs) {
  return connection_.Start() && platform::WaitForFlag(listed_, timeoutMs);
}

void PulseWaveOutSystem::SetStartDefault(const std::string& sinkName) {
  std::lock_guard<std::mutex> lock(sinksMutex_);
  startDefault_ = sinkName;
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
          const std::string name = info->name ? info->name : "";
          self->listing_.push_back({name, info->description ? info->description : name});
          return;
        }
        self->refreshing_ = false;
        if (eol > 0) {
          {
            std::lock_guard<std::mutex> lock(self->sinksMutex_);
            self->sinks_.swap(self->listing_);
          }
          self->listed_ = true;
          self->Follow();
        }
        if (self->refreshAgain_) self->Refresh();
      },
      this);
  if (op)
    pa_operation_unref(op);
  else
    refreshing_ = false;
}

void PulseWaveOutSystem::Follow() {
  const std::vector<OutputCandidate> sinks = Candidates();
  for (PulseWaveOutStream* stream : streams_) stream->Follow(sinks);
}

std::vector<OutputCandidate> PulseWaveOutSystem::Candidates() {
  std::lock_guard<std::mutex> lock(sinksMutex_);
  return sinks_;
}

std::string PulseWaveOutSystem::PlayingDevice() {
  std::lock_guard<std::mutex> lock(sinksMutex_);
  return playing_;
}

unsigned PulseWaveOutSystem::DeviceCount() {
  std::lock_guard<std::mutex> lock(sinksMutex_);
  return unsigned(sinks_.size());
}

MmResult PulseWaveOutSystem::DeviceName(unsigned index, std::string* name) {
  std::lock_guard<std::mutex> lock(sinksMutex_);
  if (index >= sinks_.size()) return engine::kMmBadDeviceId;
  *name = sinks_[index].description;
  return engine::kMmNoError;
}

MmResult PulseWaveOutSystem::Open(unsigned index, const engine::WaveFormat& format,
                                  std::unique_ptr<engine::IWaveOutStream>* stream) {
  std::string description;
  if (const MmResult result = DeviceName(index, &description); result != engine::kMmNoError) return result;
  return OpenNamed(description, format, stream);
}

MmResult PulseWaveOutSystem::OpenNamed(const std::string& description, const engine::WaveFormat& format,
                                       std::unique_ptr<engine::IWaveOutStream>* stream) {
  if (description == engine::kVirtualDeviceName) return engine::kMmBadDeviceId;
  pa_sample_spec sampleFormat;
  if (!SampleFormatFor(format, &sampleFormat)) return engine::kWaveBadFormat;
  if (!connection_.Ready()) return engine::kMmNoDriver;
  uint32_t frames = sampleFormat.rate / 100;
  auto created = std::make_unique<PulseWaveOutStream>(*this, description, sampleFormat,
                                                      uint32_t(frames ? frames : 1) * format.blockAlign);
  {
    platform::LoopLock lock(connection_);
    if (!connection_.Context()) return engine::kMmNoDriver;
    streams_.push_back(created.get());
    created->Follow(Candidates());
  }
  *stream = std::move(created);
  return engine::kMmNoError;
}

void PulseWaveOutSystem::MoveOpenStreams(const std::string& description) {
  if (description == engine::kVirtualDeviceName || !connection_.Mainloop()) return;
  platform::LoopLock lock(connection_);
  const std::vector<OutputCandidate> sinks = Candidates();
  for (PulseWaveOutStream* stream : streams_) {
    stream->description_ = description;
    stream->Follow(sinks, true);
  }
}

bool PulseWaveOutSystem::SetMixerVolume(unsigned, unsigned percent) {
  const pa_volume_t volume = pa_volume_t(uint64_t(PA_VOLUME_NORM) * std::min(percent, 100u) / 100);
  if (!connection_.Mainloop()) {
    mixerVolume_ = volume;  // not started: no mainloop thread yet
    return true;
  }
  platform::LoopLock lock(connection_);
  mixerVolume_ = volume;
  for (PulseWaveOutStream* stream : streams_) stream->ApplyVolume();
  return true;
}

}  // namespace audio
