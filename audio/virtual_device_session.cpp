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
  // A virtual sink without a module is a node of PipeWire's graph made by the program itself: it goes when the
  // program's connection closes.
  const auto unloadable = [](const platform::PulseSink& sink) {
    return IsVirtual(sink) && sink.ownerModule != PA_INVALID_INDEX;
  };
  bool unloadFailed = false;
  for (const auto& sink : sinks)
    if (unloadable(sink)) unloadFailed |= !platform::UnloadModule(connection, sink.ownerModule);
  if (!unloadFailed) return true;
  // The other guardian may have unloaded it first: what counts is that none is left.
  if (!platform::ListSinks(connection, &sinks)) return false;
  for (const auto& sink : sinks)
    if (unloadable(sink)) return false;
  return true;
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
  lockFd_ = lock.Descriptor();
  bool guarded = false;
  for (size_t index = 0; index < guardians_.size(); ++index) guarded |= StartGuardian(index);
  if (!guarded) {
    *error = "no guardian for the desktop's sound (" + guardians_[0].ErrorText() + ")";
    return false;
  }
  return true;
}

bool VirtualDeviceSession::StartGuardian(size_t index) {
  platform::GuardianLink& guardian = guardians_[index];
  const std::string executable = platform::ExecutableBesideSelf("tonvex-guardian");
  const bool ownScope = index == 0 && !ownScope_.empty();
  if (!(ownScope && guardian.Start(executable, lockFd_, kGuardName, ownScope_)) &&
      !guardian.Start(executable, lockFd_, kGuardName))
    return false;
  guardian.Send("previous " + handBack_.previousDefault);
  guardian.Send("output " + handBack_.output);
  return true;
}

void VirtualDeviceSession::KeepGuarded() {
  if (handBack_.output.empty()) return;  // not begun, or ended
  for (size_t index = 0; index < guardians_.size(); ++index) {
    if (guardians_[index].Alive()) continue;
    // A guardian only exits by itself once our end closes: this one was refused by the service manager.
    if (guardians_[index].ExitedByItself()) ownScope_.clear();
    StartGuardian(index);
  }
}

void VirtualDeviceSession::HandBack() { HandBackDefault(control_, handBack_); }

void VirtualDeviceSession::End() {
  bool guarded = false;
  for (platform::GuardianLink& guardian : guardians_) guarded |= guardian.Running();
  if (!guarded && !handBack_.output.empty()) RemoveVirtualSinks(control_);  // unguarded: the guardians' last part
  // The first restores; the second then finds the desktop restored.
  for (platform::GuardianLink& guardian : guardians_) guardian.Finish();
  handBack_ = {};
  lockFd_ = -1;
}

}  // namespace audio
