#include "audio/output_selection.h"

#include "audio/run_error.h"
#include "engine/driver_protocol.h"
#include "engine/exceptions.h"

namespace audio {
namespace {

int FindOption(const std::vector<audio::OutputCandidate>& devices, const std::string& option) {
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].description == engine::kVirtualDeviceName) continue;
    if (devices[i].description == option || devices[i].name == option) return int(i);
  }
  return -1;
}

}  // namespace

std::string SelectLiveOutput(audio::PulseWaveOutSystem& outputs, engine::CWaveOutput& output, const std::string& option,
                             const std::string& startDefault) {
  outputs.SetStartDefault(startDefault);
  const std::string remembered = option.empty() ? audio::RememberedOutputDevice() : std::string();
  // The list may change between looking and selecting; the selection is by number, so look again then.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::vector<audio::OutputCandidate> devices = outputs.Candidates();
    audio::OutputChoice choice;
    if (option.empty())
      choice = audio::ChooseOutputDevice(devices, remembered, startDefault);
    else
      choice.index = FindOption(devices, option);
    if (choice.index < 0)
      throw RunError(option.empty() ? std::string("no playback device other than the virtual one")
                                    : "no playback device named \"" + option + "\"");
    const std::string description = devices[size_t(choice.index)].description;
    try {
      output.SelectDevice(choice.index);
      if (output.GetDeviceName(choice.index) != description) continue;
    } catch (const engine::Exception&) { continue; }
    if (choice.store) audio::StoreOutputDevice(description);
    return description;
  }
  throw RunError("the playback devices keep changing");
}

}  // namespace audio
