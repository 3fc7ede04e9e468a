#pragma once
#include <string>
#include <vector>

namespace audio {

// One playback device as the output choice sees it.
struct OutputCandidate {
  std::string name;         // the server's identifier
  std::string description;  // what the user sees, and what is remembered
};

struct OutputChoice {
  int index = -1;      // into the candidates; -1 when there is no real device
  bool store = false;  // the remembered device was not found: the chosen one is to be remembered instead
};

// Which device the program plays on, the same rule at start and whenever devices come and go: the remembered
// device (by description) if it is there; else the device that was the default when the program started, if
// it is a real one; else the last real device. The virtual device is never chosen.
OutputChoice ChooseOutputDevice(const std::vector<OutputCandidate>& devices, const std::string& remembered,
                                const std::string& startDefault);

// The remembered output device of the user's settings ("unknown" when none) and storing a new one. Storing
// fails silently, and never creates the product key.
std::string RememberedOutputDevice();
void StoreOutputDevice(const std::string& description);

}  // namespace audio
