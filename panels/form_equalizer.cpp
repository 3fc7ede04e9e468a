#include "panels/form_equalizer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "graphs/graph_equalizer.h"
#include "panels/side_choice.h"
#include "panels/slider_scales.h"
#include "panels/string_ids.h"
#include "panels/template_controls.h"
#include "platform/string_table.h"
#include "settings/equalizer_sampling.h"
#include "widgets/dialog_units.h"
#include "widgets/ui_text.h"

namespace panels {
namespace {

constexpr float kLowestGain = static_cast<float>(engine::kMinimumBandGainDb);
constexpr float kHighestGain = static_cast<float>(engine::kMaximumBandGainDb);

struct BandControl {
  int sliderX;
  int labelX;
  const char* label;
};
constexpr BandControl kBandControls[CFormEqualizer::kBands] = {{96, 100, "25"},    {113, 117, "63"}, {130, 131, "160"},
                                                               {147, 149, "400"},  {164, 167, "1K"}, {181, 182, "2,5K"},
                                                               {198, 199, "6,3K"}, {215, 218, "16K"}};

struct ScaleText {
  int x, y;
  const char* text;
};
constexpr ScaleText kScaleTexts[] = {
    {234, 36, "+12"}, {241, 59, "0"}, {235, 80, "-12"}, {235, 99, "-24"}, {235, 121, "-36"}};

}  // namespace

CFormEqualizer::CFormEqualizer(PanelState& state, QWidget* parent) : CFormBase(state, parent) {
  for (int band = 0; band < kBands; ++band) {
    const BandControl& control = kBandControls[band];
    const QString label = QString::fromLatin1(control.label);
    bands_[band] = MakeSlider(this, control.sliderX, 35, 16, 97, kBandPositions, label + " Hz");
    MakeLabel(this, label, control.labelX, 131, 16, 8);
    connect(bands_[band], &QSlider::valueChanged, this, [this, band] { OnBandSlider(band); });
  }
  for (const ScaleText& text : kScaleTexts) MakeLabel(this, QString::fromLatin1(text.text), text.x, text.y, 18, 8);
  sides_ = MakeSideButtons(this);
  curveGather_ = MakeCheckBox(this, widgets::UiText(kStringGather), 210, 146, 37, 10);
  flat_ = MakeButton(this, widgets::UiText(kStringFlat), 210, 158, 28, 11);
  graph_ = new graphs::GraphEqualizer(this);
  graph_->setGeometry(widgets::DialogRect(256, 28, 212, 143));

  connect(sides_, &QButtonGroup::idClicked, this, &CFormEqualizer::OnSide);
  connect(curveGather_, &QCheckBox::clicked, this, &CFormEqualizer::OnGather);
  connect(flat_, &QPushButton::clicked, this, &CFormEqualizer::OnFlat);
}

void CFormEqualizer::InitialUpdate() {
  CFormBase::InitialUpdate();
  if (LeftCurve().SameAs(RightCurve())) state_.equalizerSide = kSideBoth;
  CheckSide(sides_, state_.equalizerSide);
  Refresh(ShownCurve());
  ClampToSliders();
}

settings::CCurve& CFormEqualizer::ShownCurve() {
  return state_.equalizerSide == kSideRight ? RightCurve() : LeftCurve();
}

void CFormEqualizer::Refresh(settings::CCurve& curve) {
  for (int band = 0; band < kBands; ++band) {
    positions_[band] = BandPosition(curve.GainAt(settings::bandFrequencies[band]));
    const QSignalBlocker block(bands_[band]);
    bands_[band]->setValue(positions_[band]);
  }
  graph_->SetCurves(LeftCurve(), RightCurve());
  settings::ApplyCurvesToEqualizer(LeftCurve(), RightCurve(), state_.parameters);
  const QSignalBlocker block(curveGather_);
  curveGather_->setChecked(curve.gather);
}

// A curve loaded from a file may lack a point at a band frequency, or hold a gain the sliders cannot
// show. Once the panel shows, every band gets a point at the value its slider shows: a missing point
// takes the truncated gain there (not a user change), a gain beyond the slider's end takes that end
// (a change of the curve, so the configuration is marked modified).
void CFormEqualizer::ClampToSliders() {
  std::vector<settings::CCurve*> curves;
  if (state_.equalizerSide != kSideRight) curves.push_back(&LeftCurve());
  if (state_.equalizerSide != kSideLeft) curves.push_back(&RightCurve());
  bool clamped = false;
  for (settings::CCurve* curve : curves) {
    for (int band = 0; band < kBands; ++band) {
      const int frequency = settings::bandFrequencies[band];
      const int position = BandPosition(curve->GainAt(frequency));
      const int shown = std::clamp(position, 0, kBandPositions);
      curve->SetPoint(frequency, BandGain(shown), kLowestGain, kHighestGain);
      clamped = clamped || shown != position;
    }
  }
  if (clamped) state_.markModified();
  Refresh(ShownCurve());
}

void CFormEqualizer::OnBandSlider(int band) {
  switch (state_.equalizerSide) {
    case kSideLeft: CarrySlider(LeftCurve(), band); break;
    case kSideRight: CarrySlider(RightCurve(), band); break;
    case kSideBoth:
      // The second call finds the sliders already showing the right curve with the new value.
      CarrySlider(RightCurve(), band);
      CarrySlider(LeftCurve(), band);
      break;
  }
}

void CFormEqualizer::CarrySlider(settings::CCurve& curve, int band) {
  const std::array<int, kBands> old = positions_;
  for (int each = 0; each < kBands; ++each) positions_[each] = bands_[each]->value();
  curve.SetPoint(settings::bandFrequencies[band], BandGain(positions_[band]), kLowestGain, kHighestGain);
  if (positions_ != old) state_.markModified();
  Refresh(curve);
}

void CFormEqualizer::OnGather() {
  const bool gather = curveGather_->isChecked();
  if (gather != ShownCurve().gather) state_.markModified();
  if (state_.equalizerSide != kSideRight) LeftCurve().gather = gather;
  if (state_.equalizerSide != kSideLeft) RightCurve().gather = gather;
}

void CFormEqualizer::OnFlat() {
  settings::CCurve& curve = state_.equalizerSide == kSideRight ? RightCurve() : LeftCurve();
  const settings::CCurve before = curve;
  curve.Flatten();
  if (state_.equalizerSide == kSideBoth) RightCurve() = LeftCurve();
  if (!before.SameAs(curve)) state_.markModified();
  Refresh(curve);
}

void CFormEqualizer::OnSide(int side) {
  const int previous = state_.equalizerSide;
  state_.equalizerSide = side;
  if (side != kSideBoth) {
    Refresh(ShownCurve());
    return;
  }
  SwitchSide({previous, state_.equalizerSide, sides_, state_.prompt, kStringEqualizerSidesDiffer}, LeftCurve(),
             RightCurve(), LeftCurve().SameAs(RightCurve()), [this] {
               Refresh(LeftCurve());
               state_.markModified();
             });
}

}  // namespace panels
