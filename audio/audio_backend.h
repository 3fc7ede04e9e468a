#pragma once
#include <memory>
#include <string>

#include "engine/driver_protocol.h"
#include "engine/wave_device.h"

namespace audio {

// How the live path reaches the sound: through the PulseAudio protocol (PulseAudio, or PipeWire's pulse server),
// or inside PipeWire's graph.
enum class AudioBackend { kPulse, kPipeWire };

// The environment variable that chooses the backend for the desktop program (and for `live` without --backend).
inline constexpr const char* kBackendVariable = "TONVEX_AUDIO_BACKEND";

// "pulse" or "pipewire"; empty (or "auto") leaves the choice to detection. False for any other text.
bool ParseAudioBackend(const std::string& text, AudioBackend* backend, bool* automatic);
// The backend detection picks: PipeWire's graph when the server is PipeWire, told by its name through the
// PulseAudio protocol ("PulseAudio (on PipeWire 0.3.65)") or by PipeWire's own socket answering.
AudioBackend DetectAudioBackend(const std::string& pulseServerName, bool pipewireAnswers);
const char* AudioBackendName(AudioBackend backend);

// The engine is made before the server is reached, so it talks to these, which pass everything on to the
// backend chosen once the server is known (Use, before the engine starts).
class BackendDriverOpener : public engine::IDriverOpener {
 public:
  explicit BackendDriverOpener(engine::IDriverOpener& initial) : target_(&initial) {}
  void Use(engine::IDriverOpener& target) { target_ = &target; }
  std::unique_ptr<engine::IDriverDevice> Open(const std::string& deviceName) override {
    return target_->Open(deviceName);
  }

 private:
  engine::IDriverOpener* target_;
};

class BackendWaveOutSystem : public engine::IWaveOutSystem {
 public:
  explicit BackendWaveOutSystem(engine::IWaveOutSystem& initial) : target_(&initial) {}
  void Use(engine::IWaveOutSystem& target) { target_ = &target; }
  unsigned DeviceCount() override { return target_->DeviceCount(); }
  engine::MmResult DeviceName(unsigned index, std::string* name) override { return target_->DeviceName(index, name); }
  engine::MmResult Open(unsigned index, const engine::WaveFormat& format,
                        std::unique_ptr<engine::IWaveOutStream>* stream) override {
    return target_->Open(index, format, stream);
  }
  engine::MmResult OpenNamed(const std::string& name, const engine::WaveFormat& format,
                             std::unique_ptr<engine::IWaveOutStream>* stream) override {
    return target_->OpenNamed(name, format, stream);
  }
  bool SetMixerVolume(unsigned index, unsigned percent) override { return target_->SetMixerVolume(index, percent); }
  void MoveOpenStreams(const std::string& name) override { target_->MoveOpenStreams(name); }
  std::string PlayingDevice() override { return target_->PlayingDevice(); }

 private:
  engine::IWaveOutSystem* target_;
};

}  // namespace audio
