#include "audio/audio_backend.h"

namespace audio {

bool ParseAudioBackend(const std::string& text, AudioBackend* backend, bool* automatic) {
  *automatic = text.empty() || text == "auto";
  if (*automatic) return true;
  if (text == "pulse") {
    *backend = AudioBackend::kPulse;
    return true;
  }
  if (text == "pipewire") {
    *backend = AudioBackend::kPipeWire;
    return true;
  }
  return false;
}

AudioBackend DetectAudioBackend(const std::string& pulseServerName, bool pipewireAnswers) {
  if (pulseServerName.find("PipeWire") != std::string::npos) return AudioBackend::kPipeWire;
  // A PulseAudio server that answers is the one the desktop plays through, whatever else runs beside it.
  if (!pulseServerName.empty()) return AudioBackend::kPulse;
  return pipewireAnswers ? AudioBackend::kPipeWire : AudioBackend::kPulse;
}

const char* AudioBackendName(AudioBackend backend) { return backend == AudioBackend::kPipeWire ? "pipewire" : "pulse"; }

}  // namespace audio
