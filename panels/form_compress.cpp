#include "panels/form_compress.h"

#include <QButtonGroup>
#include <QHideEvent>
#include <QLabel>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <cmath>

#include "graphs/graph_compress.h"
#include "panels/label_follower.h"
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
  const char* templateLabel;
};
// In the order of CFormCompress::Slider.
constexpr SliderControl kControls[CFormCompress::kSliders] = {{104, kCenterPositions, "Center", 101, "100dB"},
                                                              {130, kRatePositions, "Rate", 128, "12.5:1"},
                                                              {156, kThresholdPositions, "Threshold", 154, "120dB"},
                                                              {200, kCompressorAttackPositions, "Attack", 197, "120ms"},
                                                              {226, kReleasePositions, "Release", 221, "1000ms"}};

// The sides count as the same compressor when opening the panel ...
bool SameOnOpening(const settings::CompressorValues& left, const settings::CompressorValues& right) {
  return left.center == right.center && left.threshold == right.threshold &&
         std::fabs(left.rate - right.rate) < 0.0001f;
}

// ... and when Both is chosen, where small differences of the times do not matter either.
bool SameForBoth(const settings::CompressorValues& left, const settings::CompressorValues& right) {
  return left.center == right.center && left.threshold == right.threshold &&
         std::fabs(left.attack - right.attack) <= 0.1 && std::fabs(left.release - right.release) <= 0.1 &&
         std::fabs(left.rate - right.rate) <= 0.001f;
}

}  // namespace

CFormCompress::CFormCompress(PanelState& state, QWidget* parent) : CFormBase(state, parent) {
  MakeGroupBox(this, QString(), 96, 31, 92, 110);
  MakeGroupBox(this, QString(), 194, 31, 59, 110);
  MakeLabel(this, widgets::UiText(kStringCompressorCaptions), 101, 39, 84, 8);
  MakeLabel(this, widgets::UiText(kStringTimeCaptions), 199, 39, 52, 8);
  for (int slider = 0; slider < kSliders; ++slider) {
    const SliderControl& control = kControls[slider];
    sliders_[slider] = MakeSlider(this, control.x, 48, 16, 80, control.maximum, QString::fromLatin1(control.name));
    labels_[slider] = MakeLabel(this, QString::fromLatin1(control.templateLabel), control.labelX, 128, 26, 8);
    connect(sliders_[slider], &QSlider::valueChanged, this, &CFormCompress::OnSlider);
  }
  sides_ = MakeSideButtons(this);
  graph_ = new graphs::GraphCompress(this);
  graph_->setGeometry(widgets::DialogRect(256, 28, 212, 143));
  connect(sides_, &QButtonGroup::idClicked, this, &CFormCompress::OnSide);
  labelFollower_ = new LabelFollower(this, [this] { RefreshLabels(); });
}

void CFormCompress::InitialUpdate() {
  CFormBase::InitialUpdate();
  if (SameOnOpening(Values()[0], Values()[1])) state_.compressorSide = kSideBoth;
  CheckSide(sides_, state_.compressorSide);
  ShowRecord(Values()[ShownChannel(state_.compressorSide)]);
  busy_ = false;
  labelFollower_->Start();
}

void CFormCompress::ShowRecord(const settings::CompressorValues& values) {
  positions_ = {CenterPosition(values.center), RatePosition(values.rate), ThresholdPosition(values.threshold),
                CompressorAttackPosition(values.attack), ReleasePosition(values.release)};
  for (int slider = 0; slider < kSliders; ++slider) {
    const QSignalBlocker block(sliders_[slider]);
    sliders_[slider]->setValue(positions_[slider]);
    positions_[slider] = sliders_[slider]->value();  // a value beyond a slider's end shows at that end
  }
  graph_->SetValues(values.threshold, values.center, values.rate);
}

settings::CompressorValues CFormCompress::RecordFromPositions() const {
  settings::CompressorValues values;
  values.center = CenterFromPosition(positions_[kCenter]);
  values.rate = RateFromPosition(positions_[kRate]);
  values.threshold = ThresholdFromPosition(positions_[kThreshold]);
  values.attack = CompressorAttackFromPosition(positions_[kAttack]);
  values.release = ReleaseFromPosition(positions_[kRelease]);
  return values;
}

void CFormCompress::HandToEngine() {
  for (int channel = 0; channel < 2; ++channel) {
    const settings::CompressorValues& values = Values()[channel];
    state_.parameters.SetCompressorChannel(values.threshold, values.rate, values.attack, values.release, values.center,
                                           channel);
  }
}

void CFormCompress::RefreshLabels() {
  if (busy_) return;
  const settings::CompressorValues shown = RecordFromPositions();
  const std::string texts[kSliders] = {DecibelLabel(shown.center), RateLabel(shown.rate), DecibelLabel(shown.threshold),
                                       MillisecondsLabel(shown.attack), MillisecondsLabel(shown.release)};
  for (int slider = 0; slider < kSliders; ++slider) labels_[slider]->setText(QString::fromStdString(texts[slider]));
}

void CFormCompress::OnSlider() {
  const std::array<int, kSliders> old = positions_;
  busy_ = true;
  for (int slider = 0; slider < kSliders; ++slider) positions_[slider] = sliders_[slider]->value();
  const settings::CompressorValues record = RecordFromPositions();
  StoreForSide(state_.compressorSide, Values()[0], Values()[1], record);
  graph_->SetValues(record.threshold, record.center, record.rate);
  if (positions_ != old) {
    state_.markModified();
    HandToEngine();
  }
  busy_ = false;
}

void CFormCompress::OnSide(int side) {
  const int previous = state_.compressorSide;
  state_.compressorSide = side;
  if (side != kSideBoth) {
    ShowRecord(Values()[ShownChannel(side)]);
    return;
  }
  SwitchSide({previous, state_.compressorSide, sides_, state_.prompt, kStringCompressorSidesDiffer}, Values()[0],
             Values()[1], SameForBoth(Values()[0], Values()[1]), [this] {
               ShowRecord(Values()[0]);
               HandToEngine();
               state_.markModified();
             });
}

}  // namespace panels
