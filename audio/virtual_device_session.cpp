#include "audio/virtual_device_session.h"

#include <vector>

#include "engine/driver_protocol.h"
#include "platform/pulse_sinks.h"

namespace audio {
namespace {

bool IsVirtual(const platform::PulseSink& sink) { return sink.description == engine::kVirtualDeviceName; }

const platform::PulseSink* Named(const std::vector<platform::PulseSink>& sinks, const std::string& name) {
  for (const auto& sink : sinks)
    if (sink.name == name) return &sink;
  return nullptr;
}

}  // namespace

bool HandBackDefault(platform::PulseConnection& connection, const DesktopHandBack& handBack) {
  std::vector<platform::PulseSink> sinks;
  if (!platform::ListSinks(connection, &sinks)) return false;
  std::string current;
  platform::GetDefaultSink(connection, &current);
  const platform::PulseSink* now = Named(sinks, current);
  if (now && !IsVirtual(*now)) return true;
  for (const std::string* candidate : {&handBack.previousDefault, &handBack.output}) {
    const platform::PulseSink* sink = Named(sinks, *candidate);
    if (sink && !IsVirtual(*sink)) return platform::SetDefaultSink(connection, sink->name);
  }
  return true;  // no real sink left: the server chooses once the virtual one is gone
}

bool RemoveVirtualSinks(platform::PulseConnection& connection) {
  std::vector<platform::PulseSink> sinks;
  if (!platform::ListSinks(connection, &sinks)) return false;
  bool removed = true;
  // A virtual sink without a module is a node of PipeWire's graph made by the program itself: it goes when the
  // program's connection closes.
  for (const auto& sink : sinks)
    if (IsVirtual(sink) && sink.ownerModule != PA_INVALID_INDEX)
      removed = platform::UnloadModule(connection, sink.ownerModule) && removed;
  return removed;
}

bool VirtualDeviceSession::Begin(const platform::InstanceLock& lock, const std::string& outputSink,
                                 std::string* error) {
  std::vector<platform::PulseSink> sinks;
  platform::ListSinks(control_, &sinks);
  const platform::PulseSink* output = Named(sinks, outputSink);
  if (output) format_ = {output->sampleFormat.rate, output->sampleFormat.channels};
  platform::GetDefaultSink(control_, &handBack_.previousDefault);
  handBack_.output = outputSink;
  // The lock says no running instance owns a virtual sink that is there now: it is a leftover.
  for (const auto& sink : sinks) {
    if (!IsVirtual(sink) || sink.ownerModule == PA_INVALID_INDEX) continue;
    if (format_.rate != 0 && (sink.sampleFormat.rate != format_.rate || sink.sampleFormat.channels != format_.channels))
      platform::UnloadModule(control_, sink.ownerModule);
  }
  if (!guardian_.Start(platform::ExecutableBesideSelf("tonvex-guardian"), lock.Descriptor())) {
    *error = "no guardian for the desktop's sound (" + guardian_.ErrorText() + ")";
    return false;
  }
  guardian_.Send("previous " + handBack_.previousDefault);
  guardian_.Send("output " + handBack_.output);
  return true;
}

void VirtualDeviceSession::OutputChanged(const std::string& outputSink) {
  handBack_.output = outputSink;
  guardian_.Send("output " + outputSink);
}

void VirtualDeviceSession::HandBack() { HandBackDefault(control_, handBack_); }

void VirtualDeviceSession::End() {
  if (guardian_.Running()) {
    guardian_.Finish();
  } else if (!handBack_.output.empty()) {
    RemoveVirtualSinks(control_);  // unguarded: do the guardian's last part ourselves
  }
  handBack_ = {};
}

}  // namespace audio
