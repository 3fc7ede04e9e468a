#pragma once
#include <QDialog>
#include <QTimer>

#include "settings/audio_program_warning.h"

class QCheckBox;
class QLabel;

namespace services {

// The audio-program warning: "Warning", the text and "Don´t show this warning again". The main frame
// constructs it with the decision, starts its timer when the frame is created, and it shows itself
// once, when the timer fires while the warning is still due.
class CWarningDialog : public QDialog {
 public:
  CWarningDialog(settings::AudioProgramWarning& warning, QWidget* parent = nullptr);

  // One shot; a warning no longer due by then is dropped.
  void StartTimer(int delayMs = settings::kAudioProgramWarningDelayMs);
  // What the timer does: if the warning is due and was not shown in this run, remembers today and shows
  // the dialog modally. True when it was shown.
  bool ShowIfDue();

  QCheckBox* DontShowAgainBox() const { return dontShowAgain_; }
  QLabel* TextLabel() const { return text_; }

  void accept() override;

 private:
  settings::AudioProgramWarning& warning_;
  QTimer timer_;
  bool shown_ = false;
  QLabel* text_;
  QCheckBox* dontShowAgain_;
};

}  // namespace services
