#pragma once
#include <QDialog>
#include <functional>
#include <string>

#include "audio/pulse_wave_out.h"
#include "engine/wave_output.h"

class QComboBox;

namespace desktop {

// "Output Device": the real playback devices (never the virtual one), the current one selected. A choice
// applies at once (sound that plays moves to the chosen device) and is remembered; OK and Cancel only close.
// "Use for this device" binds the current configuration to the device selected in the list.
class COutputDeviceDialog : public QDialog {
 public:
  COutputDeviceDialog(audio::PulseWaveOutSystem* outputs, engine::CWaveOutput* output, QWidget* parent = nullptr);

  // Fills the list anew (devices come and go) and selects `current`.
  void Fill(const std::string& current);
  QComboBox* List() const { return list_; }
  const std::string& Chosen() const { return chosen_; }

  // The window's part: a device chosen in the list, and "Use for this device" pressed for the selected one.
  std::function<void(const std::string& device)> chosen;
  std::function<void(const std::string& device)> useForDevice;

 private:
  void OnChosen(int entry);

  audio::PulseWaveOutSystem* outputs_;
  engine::CWaveOutput* output_;
  QComboBox* list_;
  std::string chosen_;
};

}  // namespace desktop
