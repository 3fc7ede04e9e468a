#include "panels/form_base.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <algorithm>

#include "engine/volume.h"
#include "panels/panel_registry.h"
#include "panels/string_ids.h"
#include "panels/template_controls.h"
#include "panels/value_labels.h"
#include "widgets/dialog_units.h"
#include "widgets/link_label.h"
#include "widgets/ui_text.h"

namespace panels {
namespace {

constexpr int kVolumePositions = 80;  // 0 = +40 dB .. 80 = -40 dB

// The painted scale between the volume sliders: 21 ticks 7 pixels apart, a long one every 20 dB.
constexpr QRgb kScaleColour = qRgb(0, 64, 128);
constexpr int kScaleTop = 77;
constexpr int kScaleSpacing = 7;
constexpr int kScaleTicks = 21;
constexpr int kLongTickLeft = 57, kLongTickWidth = 13;
constexpr int kShortTickLeft = 61, kShortTickWidth = 5;

// Stands above the "Volume" group box, whose style may shade its inside, so the ticks keep their colour.
class VolumeScale : public QWidget {
 public:
  explicit VolumeScale(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(kLongTickLeft, kScaleTop, kLongTickWidth, kScaleSpacing * (kScaleTicks - 1) + 1);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    for (int tick = 0; tick < kScaleTicks; ++tick) {
      const bool longTick = tick % 5 == 0;
      painter.fillRect(longTick ? 0 : kShortTickLeft - kLongTickLeft, kScaleSpacing * tick,
                       longTick ? kLongTickWidth : kShortTickWidth, 1, QColor(kScaleColour));
    }
  }
};

}  // namespace

CFormBase::CFormBase(PanelState& state, QWidget* parent) : QWidget(parent), state_(state) {
  setFont(widgets::TemplateFont());
  setFixedSize(widgets::DialogRect(0, 0, kWidthUnits, kHeightUnits).size());

  // The tab strip stands behind the panel's own controls, so it is made first.
  pane_ = new QFrame(this);
  pane_->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
  tabs_ = new QTabBar(this);
  tabs_->setDrawBase(false);
  tabs_->setExpanding(false);  // each tab as wide as its title: the strip is narrower than the panel
  tabs_->setFocusPolicy(Qt::StrongFocus);

  MakeGroupBox(this, widgets::UiText(kStringVolume), 13, 24, 58, 138);
  new VolumeScale(this);
  const QString left = widgets::UiText(kStringLeft), right = widgets::UiText(kStringRight);
  MakeLabel(this, left, 23, 36, 13, 8, Qt::AlignHCenter);
  MakeLabel(this, right, 43, 36, 24, 8, Qt::AlignHCenter);
  volume_[0] = MakeSlider(this, 21, 44, 16, 93, kVolumePositions, left);
  volume_[1] = MakeSlider(this, 47, 44, 16, 93, kVolumePositions, right);
  volumeLabel_[0] = MakeLabel(this, QStringLiteral("-40dB"), 19, 137, 20, 8, Qt::AlignRight);
  volumeLabel_[1] = MakeLabel(this, QStringLiteral("-40dB"), 45, 137, 20, 8, Qt::AlignRight);
  gather_ = MakeCheckBox(this, widgets::UiText(kStringGather), 26, 148, 37, 10);
  link_ = new widgets::CLinkLabel(QStringLiteral("www.brevalto.com"), this);
  link_->setGeometry(widgets::DialogRect(10, 165, 67, 8));

  for (int channel = 0; channel < 2; ++channel)
    connect(volume_[channel], &QSlider::valueChanged, this, [this, channel] { OnVolumeSlider(channel); });
  connect(gather_, &QCheckBox::clicked, this, &CFormBase::OnGather);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    if (tabSelected && index >= 0) tabSelected(index);
  });
}

void CFormBase::InitialUpdate() {
  {
    const QSignalBlocker block(tabs_);
    for (const PanelTab& tab : state_.panelTabs) tabs_->addTab(QString::fromStdString(tab.title));
    tabs_->setCurrentIndex(state_.currentPanelTab);
  }
  // The strip's tabs take the height their font needs; the pane below them is the rest of the control.
  const QRect strip = widgets::DialogRect(90, 15, 380, 159);
  const int tabHeight = tabs_->sizeHint().height();
  tabs_->setGeometry(strip.left(), strip.top(), strip.width(), tabHeight);
  pane_->setGeometry(strip.adjusted(0, tabHeight - 1, 0, 0));
  link_->SetUrl(QString::fromLatin1(kSiteUrl));
  link_->EnableTooltip(true);
  link_->SetTooltipText(widgets::UiText(kStringSiteTip));
  for (int channel = 0; channel < 2; ++channel) {
    const QSignalBlocker block(volume_[channel]);
    volume_[channel]->setValue(VolumePosition(channel));
    ShowVolumeLabel(channel);
  }
  const QSignalBlocker block(gather_);
  gather_->setChecked(state_.gatherChecked != 0);
}

int& CFormBase::VolumePosition(int channel) {
  return channel == 0 ? state_.volumePositionLeft : state_.volumePositionRight;
}

void CFormBase::ShowVolumeLabel(int channel) {
  engine::CVolume volume(state_.parameters.volume);
  volumeLabel_[channel]->setText(QString::fromStdString(panels::VolumeLabel(volume.GetVolumeGain(channel))));
}

void CFormBase::OnVolumeSlider(int channel) {
  engine::CVolume volume(state_.parameters.volume);
  const int other = 1 - channel;
  const int old = VolumePosition(channel);
  VolumePosition(channel) = volume_[channel]->value();
  const int moved = VolumePosition(channel) - old;
  // Gather keeps the offset between the sliders; the other one stops at its end.
  if (state_.gatherChecked && moved != 0) {
    VolumePosition(other) = std::clamp(VolumePosition(other) + moved, 0, kVolumePositions);
    volume.SetVolumePosition(VolumePosition(other), other);
    const QSignalBlocker block(volume_[other]);
    volume_[other]->setValue(VolumePosition(other));
    ShowVolumeLabel(other);
  }
  volume.SetVolumePosition(VolumePosition(channel), channel);
  ShowVolumeLabel(channel);
  if (moved != 0) SaveVolumeSettingsSettled(state_);
}

void CFormBase::OnGather() {
  const int old = state_.gatherChecked;
  state_.gatherChecked = gather_->isChecked() ? 1 : 0;
  engine::CVolume(state_.parameters.volume).SetGather(state_.gatherChecked);
  if (state_.gatherChecked != old) SaveVolumeSettingsSettled(state_);
}

}  // namespace panels
