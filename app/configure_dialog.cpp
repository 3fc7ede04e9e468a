#include "app/configure_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/ui_text.h"

namespace desktop {
namespace {
constexpr int kCaptions[4] = {61446, 61447, 61465, 61475};
constexpr int kStringTitle = 62301;
}  // namespace

CConfigureDialog::CConfigureDialog(settings::ApplicationSwitches& switches, QWidget* parent)
    : QDialog(parent), switches_(switches) {
  setWindowTitle(widgets::UiText(kStringTitle));
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < 4; ++i) layout->addWidget(boxes_[i] = new QCheckBox(widgets::UiText(kCaptions[i]), this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(widgets::UiText(widgets::kStringCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  Load();
}

void CConfigureDialog::Load() {
  switches_.launchOnStartup = settings::LaunchOnStartupSet();  // the entry may have changed since the start
  const int values[4] = {switches_.launchOnStartup, switches_.startMinimized, switches_.preferredDevice,
                         switches_.Amplificator()};
  for (int i = 0; i < 4; ++i) boxes_[i]->setChecked(values[i] != 0);
}

void CConfigureDialog::accept() {
  settings::SwitchValues values;
  values.launch = boxes_[0]->isChecked() ? 1 : 0;
  values.minimized = boxes_[1]->isChecked() ? 1 : 0;
  values.preferred = boxes_[2]->isChecked() ? 1 : 0;
  values.amplificator = boxes_[3]->isChecked() ? 1 : 0;
  switches_.Store(values);
  QDialog::accept();
}

}  // namespace desktop
