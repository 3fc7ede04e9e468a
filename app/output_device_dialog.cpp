#include "app/output_device_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "audio/output_device_rule.h"
#include "engine/driver_protocol.h"
#include "engine/exceptions.h"
#include "widgets/ui_text.h"

namespace desktop {
namespace {
constexpr int kStringLabel = 61472;
constexpr int kStringTitle = 62300;
constexpr int kStringUseForDevice = 32796;  // also the tray menu's command
}  // namespace

COutputDeviceDialog::COutputDeviceDialog(audio::PulseWaveOutSystem* outputs, engine::CWaveOutput* output,
                                         QWidget* parent)
    : QDialog(parent), outputs_(outputs), output_(output) {
  setWindowTitle(widgets::UiText(kStringTitle));
  auto* row = new QHBoxLayout(this);
  row->addWidget(new QLabel(widgets::UiText(kStringLabel), this));
  list_ = new QComboBox(this);
  list_->setMinimumWidth(200);
  row->addWidget(list_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(widgets::UiText(widgets::kStringCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  QPushButton* use = buttons->addButton(widgets::UiText(kStringUseForDevice), QDialogButtonBox::ActionRole);
  connect(use, &QPushButton::clicked, this, [this] {
    if (useForDevice && list_->currentIndex() >= 0) useForDevice(list_->currentText().toStdString());
  });
  row->addWidget(buttons);
  connect(list_, &QComboBox::activated, this, &COutputDeviceDialog::OnChosen);
}

void COutputDeviceDialog::Fill(const std::string& current) {
  chosen_ = current;
  list_->clear();
  if (!outputs_) return;
  QStringList names;
  for (const audio::OutputCandidate& sink : outputs_->Candidates())
    if (sink.description != engine::kVirtualDeviceName) names << QString::fromStdString(sink.description);
  names.sort();  // by name, so a device keeps its place in the list whatever order the server lists them in
  list_->addItems(names);
  const int at = list_->findText(QString::fromStdString(current));
  list_->setCurrentIndex(at >= 0 ? at : 0);
}

void COutputDeviceDialog::OnChosen(int entry) {
  const std::string description = list_->itemText(entry).toStdString();
  const std::vector<audio::OutputCandidate> devices = outputs_->Candidates();
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].description != description) continue;
    try {
      output_->SelectDevice(int(i));
    } catch (const engine::Exception&) {
      return;  // the list changed meanwhile; nothing is chosen
    }
    chosen_ = description;
    audio::StoreOutputDevice(description);
    if (chosen) chosen(description);
    return;
  }
}

}  // namespace desktop
