#include "panels/form_limiter.h"

#include <QButtonGroup>
#include <QHideEvent>
#include <QLabel>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>

#include "graphs/graph_limiter.h"
#include "panels/label_follower.h"
#include "panels/panel_registry.h"
#include "panels/side_choice.h"
#include "panels/slider_scales.h"
#include "panels/string_ids.h"
#include "panels/template_controls.h"
#include "panels/value_labels.h"
#include "platform/string_table.h"
#include "widgets/dialog_units.h"
#include "widgets/ui_text.h"

namespace panels {
namespace {

struct SliderControl {
  int x;
  int maximum;
  const char* name;
  int labelX;
  int labelWidth;
};
// In the order of CFormLimiter::Slider.
constexpr SliderControl kControls[CFormLimiter::kSliders] = {{104, kLimitPositions, "Limit", 101, 22},
                                                             {176, kLimiterAttackPositions, "Attack", 172, 22},
                                                             {206, kReleasePositions, "Release", 201, 26}};

struct ScaleText {
  int y;
  const char* text;
};
constexpr ScaleText kScaleTexts[] = {{44, "+120 dB"}, {63, "+96 dB"}, {83, "+72 dB"}, {102, "+48 dB"}, {122, "+24 dB"}};

}  // namespace

CFormLimiter::CFormLimiter(PanelState& state, QWidget* parent) : CFormBase(state, parent) {
  MakeLabel(this, widgets::UiText(kStringLimiterCaptions), 106, 33, 127, 8);
  for (const ScaleText& text : kScaleTexts)
    MakeLabel(this, QString::fromLatin1(text.text), 126, text.y, 28, 8, Qt::AlignRight);
  for (int slider = 0; slider < kSliders; ++slider) {
    const SliderControl& control = kControls[slider];
    sliders_[slider] = MakeSlider(this, control.x, 41, 16, 93, control.maximum, QString::fromLatin1(control.name));
    labels_[slider] = MakeLabel(this, QString(), control.labelX, 134, control.labelWidth, 8, Qt::AlignRight);
    connect(sliders_[slider], &QSlider::valueChanged, this, &CFormLimiter::OnSlider);
  }
  warning_ = MakeLabel(this, QString(), 90, 175, 376, 10);
  sides_ = MakeSideButtons(this);
  graph_ = new graphs::GraphLimiter(this);
  graph_->setGeometry(widgets::DialogRect(256, 28, 212, 143));
  connect(sides_, &QButtonGroup::idClicked, this, &CFormLimiter::OnSide);
  labelFollower_ = new LabelFollower(this, [this] { RefreshLabels(); });
}

void CFormLimiter::InitialUpdate() {
  CFormBase::InitialUpdate();
  if (state_.limiterValues[0].level == state_.limiterValues[1].level) state_.limiterSide = kSideBoth;
  CheckSide(sides_, state_.limiterSide);
  ShowRecord(ShownRecord());
  ShowLevels();
  labelFollower_->Start();
}

LimiterValues& CFormLimiter::ShownRecord() { return state_.limiterValues[ShownChannel(state_.limiterSide)]; }

void CFormLimiter::ShowRecord(const LimiterValues& values) {
  positions_ = {LimitPosition(values.level), LimiterAttackPosition(values.attack), ReleasePosition(values.release)};
  for (int slider = 0; slider < kSliders; ++slider) {
    const QSignalBlocker block(sliders_[slider]);
    sliders_[slider]->setValue(positions_[slider]);
  }
}

void CFormLimiter::ShowLevels() { graph_->SetLevels(state_.limiterValues[0].level, state_.limiterValues[1].level); }

void CFormLimiter::HandToEngine() {
  for (int channel = 0; channel < 2; ++channel) {
    const LimiterValues& values = state_.limiterValues[channel];
    state_.parameters.SetLimiterChannel(values.level, channel, values.attack, values.release);
  }
}

void CFormLimiter::RefreshLabels() {
  const int warning = LimiterWarningId(ShownRecord().level, state_.parameters.amplificator != 0);
  warning_->setText(warning ? widgets::UiText(warning) : QString());
  const std::string texts[kSliders] = {DecibelLabel(LimitLevelFromPosition(positions_[kLimit])),
                                       MillisecondsLabel(LimiterAttackFromPosition(positions_[kAttack])),
                                       MillisecondsLabel(ReleaseFromPosition(positions_[kRelease]))};
  for (int slider = 0; slider < kSliders; ++slider) labels_[slider]->setText(QString::fromStdString(texts[slider]));
}

void CFormLimiter::OnSlider() {
  const std::array<int, kSliders> old = positions_;
  for (int slider = 0; slider < kSliders; ++slider) positions_[slider] = sliders_[slider]->value();
  const LimiterValues record{LimitLevelFromPosition(positions_[kLimit]), LimiterAttackFromPosition(positions_[kAttack]),
                             ReleaseFromPosition(positions_[kRelease])};
  StoreForSide(state_.limiterSide, state_.limiterValues[0], state_.limiterValues[1], record);
  ShowLevels();
  HandToEngine();
  if (positions_ != old) SaveLimiterSettingsSettled(state_);
}

void CFormLimiter::OnSide(int side) {
  const int previous = state_.limiterSide;
  state_.limiterSide = side;
  if (side != kSideBoth) {
    ShowRecord(ShownRecord());
  } else {
    SwitchSide({previous, state_.limiterSide, sides_, state_.prompt, kStringLimiterSidesDiffer},
               state_.limiterValues[0], state_.limiterValues[1],
               state_.limiterValues[0].level == state_.limiterValues[1].level, [this] {
                 ShowRecord(state_.limiterValues[0]);
                 HandToEngine();
                 ShowLevels();
               });
  }
  RefreshLabels();
  SaveLimiterSettingsSettled(state_);
}

}  // namespace panels
