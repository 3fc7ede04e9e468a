#pragma once
#include <QDialog>

#include "settings/application_switches.h"

class QCheckBox;

namespace desktop {

// "Configure": the four switches. OK stores each changed one at once; Cancel keeps the running values.
// Starting at log-on is the desktop's autostart entry for this program rather than a stored value.
class CConfigureDialog : public QDialog {
 public:
  CConfigureDialog(settings::ApplicationSwitches& switches, QWidget* parent = nullptr);

  // Reads the switches into the boxes; the frame calls it before each showing.
  void Load();
  void accept() override;

  QCheckBox* Box(int index) const { return boxes_[index]; }

 private:
  settings::ApplicationSwitches& switches_;
  QCheckBox* boxes_[4];
};

}  // namespace desktop
