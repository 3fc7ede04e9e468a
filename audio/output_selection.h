#pragma once
#include <string>

#include "audio/pulse_wave_out.h"
#include "engine/wave_output.h"

namespace audio {

// The output device of `live`: the device named by --output (a description or a sink name) for this run only,
// stored nowhere; without it the output rule, with the remembered device from the user's settings, which
// follows the choice when the remembered one is not there. Selects it on `output` and tells `outputs` which
// sink was the default at start. Returns the device's description; RunError when there is none.
std::string SelectLiveOutput(audio::PulseWaveOutSystem& outputs, engine::CWaveOutput& output, const std::string& option,
                             const std::string& startDefault);

}  // namespace audio
