#include <QCheckBox>
#include <QPushButton>

#include "tests/panels/panel_fixture.h"

namespace panels_test {
namespace {

using settings::CCurve;

constexpr int k1000Hz = 4;

class EqualizerPanel : public PanelFixture {
 protected:
  double EngineGain(int band, int channel) { return parameters.equalizer.Gain(engine::BandIndex(band, channel)); }
};

TEST_F(EqualizerPanel, SliderStepOnLeftSetsThePointMarksOnceAndSendsTheGains) {
  configuration.rightCurve.SetAllGains(-3.0f);
  auto* panel = Show<panels::CFormEqualizer>(kEqualizer);
  ASSERT_EQ(panel->Sides()->checkedId(), panels::kSideLeft);
  panel->BandSlider(k1000Hz)->setValue(9);
  EXPECT_EQ(configuration.leftCurve.GainAt(1000), 3.0);
  EXPECT_EQ(marks, 1);
  EXPECT_EQ(EngineGain(k1000Hz, 0), 3.0);
  EXPECT_EQ(EngineGain(k1000Hz, 1), -3.0);
  EXPECT_EQ(EngineGain(0, 0), 0.0);
  panel->CurveGather()->click();  // Gather is part of the shown side's curve
  EXPECT_TRUE(configuration.leftCurve.gather);
  EXPECT_FALSE(configuration.rightCurve.gather);
  EXPECT_EQ(marks, 2);
}

TEST_F(EqualizerPanel, BothWithGatherMovesEveryPointOfBothCurvesAndStopsAtTheTop) {
  configuration.leftCurve.SetAllGains(10.0f);
  configuration.rightCurve.SetAllGains(10.0f);
  configuration.leftCurve.gather = configuration.rightCurve.gather = true;
  auto* panel = Show<panels::CFormEqualizer>(kEqualizer);
  ASSERT_EQ(panel->Sides()->checkedId(), panels::kSideBoth);
  EXPECT_TRUE(panel->CurveGather()->isChecked());
  panel->BandSlider(0)->setValue(0);  // +12: the others move by +2 as well, no further than +12
  panel->BandSlider(0)->setValue(3);  // +9: the others move by -3
  for (CCurve* curve : {&configuration.leftCurve, &configuration.rightCurve}) {
    EXPECT_EQ(curve->GainAt(25), 9.0);
    EXPECT_EQ(curve->GainAt(16000), 9.0);
  }
  EXPECT_EQ(EngineGain(7, 1), 9.0);
  EXPECT_EQ(marks, 2);
  EXPECT_EQ(panel->BandSlider(7)->value(), 3);
}

// Choosing Both with different curves asks; Yes copies the side shown before, No/Cancel go back to it.
TEST_F(EqualizerPanel, BothOnDifferentCurvesAsksAndEachAnswerDoesItsPart) {
  const struct {
    platform::PromptAnswer answer;
    int expectedSide;
    double expectedLeft;
  } cases[] = {{platform::PromptAnswer::Yes, panels::kSideBoth, -6.0},
               {platform::PromptAnswer::No, panels::kSideRight, 4.0},
               {platform::PromptAnswer::Cancel, panels::kSideRight, 4.0}};
  for (const auto& each : cases) {
    configuration.leftCurve.SetAllGains(4.0f);
    configuration.rightCurve.SetAllGains(-6.0f);
    state.equalizerSide = panels::kSideRight;
    marks = 0;
    auto* panel = Show<panels::CFormEqualizer>(kEqualizer);
    prompt.Answer(each.answer);
    ClickSide(panel->Sides(), panels::kSideBoth);
    EXPECT_EQ(prompt.messages.back().text.substr(0, 26), "Equalizer curves from left");
    EXPECT_EQ(panel->Sides()->checkedId(), each.expectedSide);
    EXPECT_EQ(state.equalizerSide, each.expectedSide);
    EXPECT_EQ(configuration.leftCurve.GainAt(400), each.expectedLeft);
    EXPECT_EQ(EngineGain(3, 0), each.expectedLeft);
    EXPECT_EQ(marks, each.answer == platform::PromptAnswer::Yes ? 1 : 0);
  }
  const size_t asked = prompt.messages.size();
  ClickSide(host.Current()->findChild<QButtonGroup*>(), panels::kSideLeft);
  configuration.rightCurve = configuration.leftCurve;
  ClickSide(host.Current()->findChild<QButtonGroup*>(), panels::kSideBoth);
  EXPECT_EQ(prompt.messages.size(), asked);  // identical curves: no question, no mark
  EXPECT_EQ(marks, 0);
}

TEST_F(EqualizerPanel, FlateMarksOnlyWhenTheCurveChangesAndOnBothCopiesIt) {
  configuration.rightCurve.SetAllGains(-2.0f);
  auto* panel = Show<panels::CFormEqualizer>(kEqualizer);
  panel->FlatButton()->click();
  EXPECT_EQ(marks, 0);
  panel->BandSlider(0)->setValue(4);  // +8 at 25 Hz
  panel->FlatButton()->click();       // average +1
  EXPECT_EQ(marks, 2);
  EXPECT_EQ(configuration.leftCurve.GainAt(16000), 1.0);
  prompt.Answer(platform::PromptAnswer::Yes);
  ClickSide(panel->Sides(), panels::kSideBoth);
  panel->BandSlider(0)->setValue(0);  // +12 on both
  panel->FlatButton()->click();       // average (12 + 7) / 8
  EXPECT_EQ(marks, 5);
  EXPECT_EQ(configuration.rightCurve.GainAt(25), 2.375);
  EXPECT_EQ(EngineGain(0, 1), 2.375);
  EXPECT_EQ(panel->BandSlider(3)->value(), 10);
}

// A loaded curve may lack band points or hold gains beyond the sliders; showing the panel settles both.
TEST_F(EqualizerPanel, ShowingAddsMissingBandPointsQuietlyAndClampsOutOfRangeGainsWithAMark) {
  configuration.leftCurve.SetPoints({{20, 0.0}, {900, 5.5}, {20000, 0.0}});
  configuration.rightCurve = configuration.leftCurve;
  Show<panels::CFormEqualizer>(kEqualizer);
  EXPECT_EQ(configuration.leftCurve.PointCount(), 11u);
  EXPECT_EQ(configuration.rightCurve.GainAt(1000),
            std::trunc(configuration.rightCurve.GainAt(1000)));  // whole dB, as the slider shows it
  EXPECT_GT(configuration.rightCurve.GainAt(1000), 4.0);
  EXPECT_EQ(marks, 0);

  configuration.leftCurve.ResetToDefaults();
  configuration.leftCurve.SetPoint(63, 20.0f, -100.0f, 100.0f);
  state.equalizerSide = panels::kSideLeft;
  auto* panel = Show<panels::CFormEqualizer>(kEqualizer);
  EXPECT_EQ(configuration.leftCurve.GainAt(63), 12.0);
  EXPECT_EQ(EngineGain(1, 0), 12.0);
  EXPECT_EQ(panel->BandSlider(1)->value(), 0);
  EXPECT_EQ(marks, 1);
}

}  // namespace
}  // namespace panels_test
