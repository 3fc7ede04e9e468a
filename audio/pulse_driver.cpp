#include "audio/pulse_driver.h"

#include <algorithm>
#include <cstring>

#include "platform/debug_output.h"

namespace audio {
namespace {

// Without rewinds: PulseAudio's null sink, when it may rewind, hands its monitor's readers the sound in uneven
// pieces (5 and 15 ms in turn rather than 10 and 10), so the engine's blocks complete in pairs, up to a block
// late, and the output needs a deeper cushion. Without, every period's sound comes whole. The price is that a
// stream started in the virtual device is heard at most one period later. A server that does not know the
// argument gets the sink without it.
std::string SinkArguments(VirtualSinkFormat format, bool rewinds) {
  std::string arguments = "sink_name=tonvex_brevalto sink_properties='device.description=\"Tonvex (Brevalto)\"'";
  if (!rewinds) arguments += " norewinds=1";
  if (format.rate != 0) arguments += " rate=" + std::to_string(format.rate);
  if (format.channels != 0) arguments += " channels=" + std::to_string(format.channels);
  return arguments;
}

// The engine takes 16 or 32-bit integer samples and at most two channels; the server converts.
pa_sample_spec CaptureSampleFormat(const pa_sample_spec& sink) {
  pa_sample_spec sampleFormat;
  switch (sink.format) {
    case PA_SAMPLE_U8:
    case PA_SAMPLE_ALAW:
    case PA_SAMPLE_ULAW:
    case PA_SAMPLE_S16LE:
    case PA_SAMPLE_S16BE: sampleFormat.format = PA_SAMPLE_S16LE; break;
    default: sampleFormat.format = PA_SAMPLE_S32LE; break;
  }
  sampleFormat.rate = sink.rate;
  sampleFormat.channels = uint8_t(std::clamp<int>(sink.channels, 1, 2));
  return sampleFormat;
}

bool SameSampleFormat(const pa_sample_spec& a, const pa_sample_spec& b) {
  return a.format == b.format && a.rate == b.rate && a.channels == b.channels;
}

}  // namespace

PulseDriverDevice::PulseDriverDevice(VirtualSinkFormat format)
    : sinkFormat_(format),
      connection_("Tonvex capture",
                  {[this](pa_context*) { Refresh(); }, [this] { OnLost(); },
                   [this](pa_subscription_event_type_t, uint32_t) { Refresh(); }},
                  platform::SharedAudioLoop()) {}

PulseDriverDevice::~PulseDriverDevice() {
  if (connection_.Mainloop()) {
    platform::LoopLock lock(connection_);
    shuttingDown_ = true;
    CloseRecord();
    if (loadedModule_ != PA_INVALID_INDEX && connection_.Ready() && connection_.Context()) {
      connection_.WaitOperation(pa_context_unload_module(connection_.Context(), loadedModule_, nullptr, nullptr), 1000);
      loadedModule_ = PA_INVALID_INDEX;
    }
  }
  connection_.Shutdown();
}

bool PulseDriverDevice::Start(int timeoutMs) {
  return connection_.Start() && platform::WaitForFlag(sinkPresent_, timeoutMs);
}

bool PulseDriverDevice::Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned,
                                uint32_t* error) {
  return queue_.Answer(code, output, outputBytes, bytesReturned, error);
}

bool PulseDriverDevice::ReadOnDeviceThread(std::function<void()> reader) {
  if (!connection_.Mainloop()) return false;
  platform::LoopLock lock(connection_);  // every producer call of the queue runs under it
  queue_.SetReader(std::move(reader));
  return true;
}

// Every change of sinks or of the streams playing into them comes here; the lists are read again and the
// state follows. Overlapping events are folded into one more pass.
void PulseDriverDevice::Refresh() {
  if (shuttingDown_ || !connection_.Context()) return;
  if (refreshing_) {
    refreshAgain_ = true;
    return;
  }
  refreshing_ = true;
  refreshAgain_ = false;
  found_ = false;
  pa_operation* op = pa_context_get_sink_info_list(
      connection_.Context(),
      [](pa_context*, const pa_sink_info* info, int eol, void* self) {
        static_cast<PulseDriverDevice*>(self)->OnSinkList(info, eol);
      },
      this);
  if (op)
    pa_operation_unref(op);
  else
    refreshing_ = false;
}

void PulseDriverDevice::OnSinkList(const pa_sink_info* info, int eol) {
  if (!eol && info) {
    if (!found_ && info->description && std::strcmp(info->description, engine::kVirtualDeviceName) == 0) {
      found_ = true;
      seenIndex_ = info->index;
      seenMonitor_ = info->monitor_source_name ? info->monitor_source_name : "";
      seenSampleFormat_ = info->sample_spec;
      seenState_ = info->state;
    }
    return;
  }
  if (shuttingDown_) {
    refreshing_ = false;
    return;
  }
  if (eol < 0) {  // the list failed (connection trouble): the next event or reconnect tries again
    refreshing_ = false;
    return;
  }
  if (!found_) {
    sinkPresent_ = false;
    sinkIndex_ = PA_INVALID_INDEX;
    SetActive(false);
    CloseRecord();
    refreshing_ = false;
    if (!loading_) {
      loading_ = true;
      pa_operation* op = pa_context_load_module(
          connection_.Context(), "module-null-sink", SinkArguments(sinkFormat_, sinkRewinds_).c_str(),
          [](pa_context*, uint32_t index, void* self) { static_cast<PulseDriverDevice*>(self)->OnModuleLoaded(index); },
          this);
      if (op)
        pa_operation_unref(op);
      else
        loading_ = false;
    }
    return;
  }
  const bool changed = sinkIndex_ != seenIndex_ || !SameSampleFormat(sinkSampleFormat_, seenSampleFormat_) ||
                       monitorName_ != seenMonitor_;
  sinkIndex_ = seenIndex_;
  sinkSampleFormat_ = seenSampleFormat_;
  sinkState_ = seenState_;
  monitorName_ = seenMonitor_;
  sinkPresent_ = true;
  if (changed || !record_) {
    SetActive(false);
    CloseRecord();
    OpenRecord();
  }
  playingInputs_ = 0;
  pa_operation* op = pa_context_get_sink_input_info_list(
      connection_.Context(),
      [](pa_context*, const pa_sink_input_info* info, int eol, void* self) {
        static_cast<PulseDriverDevice*>(self)->OnInputList(info, eol);
      },
      this);
  if (op)
    pa_operation_unref(op);
  else
    refreshing_ = false;
}

void PulseDriverDevice::OnInputList(const pa_sink_input_info* info, int eol) {
  if (!eol && info) {
    if (info->sink == sinkIndex_ && !info->corked) ++playingInputs_;
    return;
  }
  refreshing_ = false;
  if (shuttingDown_) return;
  if (eol > 0) {
    // Playback counts only while something plays into the sink and the sink itself runs.
    const bool sinkRuns = sinkState_ != PA_SINK_SUSPENDED && sinkState_ != PA_SINK_INVALID_STATE;
    SetActive(playingInputs_ > 0 && sinkRuns);
  }
  if (refreshAgain_) Refresh();
}

void PulseDriverDevice::OnModuleLoaded(uint32_t index) {
  loading_ = false;
  if (index == PA_INVALID_INDEX) {
    if (!sinkRewinds_ && !shuttingDown_) {
      sinkRewinds_ = true;  // an older server: the sink with rewinds
      Refresh();
      return;
    }
    platform::OutputDebugText("could not load the virtual sink: " +
                              std::string(pa_strerror(pa_context_errno(connection_.Context()))));
    return;
  }
  if (shuttingDown_) {
    pa_operation* op = pa_context_unload_module(connection_.Context(), index, nullptr, nullptr);
    if (op) pa_operation_unref(op);
    return;
  }
  loadedModule_ = index;
  Refresh();
}

void PulseDriverDevice::OpenRecord() {
  const pa_sample_spec sampleFormat = CaptureSampleFormat(sinkSampleFormat_);
  pa_channel_map map;
  pa_channel_map_init_auto(&map, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
  record_ = pa_stream_new(connection_.Context(), "Tonvex capture", &sampleFormat, &map);
  if (!record_) return;
  recordFormat_ =
      MakeStreamFormat(sampleFormat.channels, uint16_t(pa_sample_size(&sampleFormat) * 8), sampleFormat.rate);
  blockUs_ = double(pa_bytes_to_usec(recordFormat_.blockBytes, &sampleFormat));
  recordReady_ = false;
  pa_stream_set_state_callback(
      record_, [](pa_stream*, void* self) { static_cast<PulseDriverDevice*>(self)->OnRecordState(); }, this);
  pa_stream_set_read_callback(
      record_, [](pa_stream*, size_t, void* self) { static_cast<PulseDriverDevice*>(self)->OnRecordData(); }, this);
  pa_buffer_attr attr;
  std::memset(&attr, 0xff, sizeof attr);
  attr.fragsize = recordFormat_.blockBytes;  // ask the server for about one block at a time
  const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(record_, monitorName_.c_str(), &attr, flags) < 0) CloseRecord();
}

void PulseDriverDevice::CloseRecord() {
  if (!record_) return;
  platform::ReleaseStream(record_);
  record_ = nullptr;
  recordReady_ = false;
}

// A null sink that nobody read at low latency has rendered up to two seconds ahead, and renders nothing more,
// not even a stream that starts playing into it now, until its clock has caught up: after a start or a server
// restart the sound would only come back seconds later. Its clock restarts, at the low latency the capture
// now asks for, when the sink resumes from a suspend.
void PulseDriverDevice::RestartSinkClock() {
  for (int suspend : {1, 0}) {
    pa_operation* op = pa_context_suspend_sink_by_index(connection_.Context(), sinkIndex_, suspend, nullptr, nullptr);
    if (op) pa_operation_unref(op);
  }
}

void PulseDriverDevice::SetActive(bool active) {
  const bool streaming = active && recordReady_;
  if (streaming && !active_)
    queue_.Start(recordFormat_);
  else if (!streaming && active_)
    queue_.Stop();
  active_ = streaming;
}

void PulseDriverDevice::OnRecordState() {
  switch (pa_stream_get_state(record_)) {
    case PA_STREAM_READY:
      recordReady_ = true;
      RestartSinkClock();
      Refresh();  // decides whether playback is on
      break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
      SetActive(false);
      recordReady_ = false;
      CloseRecord();
      Refresh();  // reopens it when the sink still exists
      break;
    default: break;
  }
}

void PulseDriverDevice::OnRecordData() {
  const void* data = nullptr;
  size_t bytes = 0;
  while (record_ && pa_stream_readable_size(record_) > 0) {
    if (pa_stream_peek(record_, &data, &bytes) < 0 || bytes == 0) break;
    if (data && active_) queue_.Append({static_cast<const uint8_t*>(data), bytes});
    pa_stream_drop(record_);
  }
  // The loop's wake-ups follow the blocks while sound streams (platform::BlockPacer).
  if (queue_.Publish() && active_) connection_.Loop()->BlockHandedOn(blockUs_);
}

void PulseDriverDevice::OnLost() {
  // Everything on the old server is gone with it, the module we loaded included.
  SetActive(false);
  queue_.Stop();
  CloseRecord();
  sinkPresent_ = false;
  sinkIndex_ = PA_INVALID_INDEX;
  loadedModule_ = PA_INVALID_INDEX;
  loading_ = false;
  refreshing_ = false;
  refreshAgain_ = false;
}

std::unique_ptr<engine::IDriverDevice> PulseDriverOpener::Open(const std::string& deviceName) {
  if (deviceName != engine::kDriverDeviceName) return nullptr;
  auto device = std::make_unique<PulseDriverDevice>(format_);
  if (!device->Start(timeoutMs_)) return nullptr;
  return device;
}

}  // namespace audio
