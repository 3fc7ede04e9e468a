#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QTabBar>

#include "graphs/graph_limiter.h"
#include "panels/panel_registry.h"
#include "tests/panels/panel_fixture.h"

namespace panels_test {
namespace {

using Compress = panels::CFormCompress;
using Limiter = panels::CFormLimiter;

class CompressorPanel : public PanelFixture {
 protected:
  const settings::CompressorValues kSetting{40, 60, 2.0f, 0.01, 0.2};
};

TEST_F(CompressorPanel, SliderStepsReachRecordsEngineAndLabels) {
  configuration.compressorValues = {kSetting, kSetting};
  auto* panel = Show<Compress>(kCompression);
  EXPECT_EQ(panel->ValueLabel(Compress::kRate)->text(), "2.0:1");  // labels are set as soon as it shows
  EXPECT_EQ(panel->ValueLabel(Compress::kRelease)->text(), "200ms");
  const struct {
    Compress::Slider slider;
    int position;
    const char* label;
  } steps[] = {{Compress::kRate, 0, "   INF"},    {Compress::kRate, 1, "29.9:1"},   {Compress::kRate, 290, "1.0:1"},
               {Compress::kAttack, 100, "0ms"},   {Compress::kAttack, 0, "100ms"},  {Compress::kRelease, 990, "10ms"},
               {Compress::kRelease, 0, "1000ms"}, {Compress::kCenter, 0, "70dB"},   {Compress::kCenter, 20, "50dB"},
               {Compress::kThreshold, 0, "60dB"}, {Compress::kThreshold, 60, "0dB"}};
  for (const auto& step : steps) {
    panel->ValueSlider(step.slider)->setValue(step.position);
    panel->RefreshLabels();
    EXPECT_EQ(panel->ValueLabel(step.slider)->text().toStdString(), step.label);
  }
  EXPECT_EQ(marks, 11);
  const settings::CompressorValues expected{0, 50, 1.0f, 0.1, 1.0};
  EXPECT_EQ(configuration.compressorValues[0], expected);
  EXPECT_EQ(configuration.compressorValues[1], expected);
  // Both sides reach the engine; the writer's conversion is tested with the chain.
  for (const engine::SmootherTimes& times : parameters.compressor.times) EXPECT_EQ(times.release, 1.0);
}

TEST_F(CompressorPanel, BothAsksOnlyWhenTheSidesReallyDifferAndTheAnswersDoTheirPart) {
  settings::CompressorValues right = kSetting;
  right.attack += 0.05;
  configuration.compressorValues = {kSetting, right};
  auto* panel = Show<Compress>(kCompression);
  ClickSide(panel->Sides(), panels::kSideLeft);
  ClickSide(panel->Sides(), panels::kSideBoth);  // attacks 50 ms apart: the same compressor, nothing copied
  EXPECT_TRUE(prompt.messages.empty());
  EXPECT_EQ(configuration.compressorValues[1].attack, right.attack);

  configuration.compressorValues[1].threshold = 30;
  ClickSide(panel->Sides(), panels::kSideRight);
  EXPECT_EQ(panel->ValueSlider(Compress::kThreshold)->value(), 30);
  prompt.Answer(platform::PromptAnswer::No);
  ClickSide(panel->Sides(), panels::kSideBoth);
  EXPECT_EQ(panel->Sides()->checkedId(), panels::kSideRight);
  EXPECT_EQ(configuration.compressorValues[0].threshold, 40);
  prompt.Answer(platform::PromptAnswer::Yes);
  ClickSide(panel->Sides(), panels::kSideBoth);
  EXPECT_EQ(prompt.messages.back().text.substr(0, 28), "Compression curves from left");
  EXPECT_EQ(configuration.compressorValues[0].threshold, 30);
  EXPECT_DOUBLE_EQ(parameters.compressor.channel[0].threshold, (30 - 96) * 0.05);
  EXPECT_EQ(marks, 1);
}

class LimiterPanel : public PanelFixture {
 protected:
  void SetUp() override {
    PanelFixture::SetUp();
    panels::LoadLimiterSettings(state);
  }
};

TEST_F(LimiterPanel, LimitStepsSetLabelsWarningEngineAndRegistry) {
  const struct {
    int position, amplificator;
    const char *label, *warning;  // warning: the start of the expected warning line
  } steps[] = {{0, 0, "120dB", "Limits above 96 dBSPL"},
               {0, 1, "120dB", "Limits above 116 dBSPL"},
               {4, 1, "116dB", ""},
               {23, 0, "97dB", "Limits above 96 dBSPL"},
               {24, 0, "96dB", ""},
               {80, 0, "48dB", ""}};
  auto* panel = Show<Limiter>(kLimiter);  // fresh: 94 dB on both sides, 0 ms, 500 ms, no warning
  EXPECT_EQ(panel->ValueSlider(Limiter::kLimit)->value(), 26);
  EXPECT_EQ(panel->ValueLabel(Limiter::kLimit)->text() + panel->ValueLabel(Limiter::kAttack)->text() +
                panel->ValueLabel(Limiter::kRelease)->text() + panel->Warning()->text(),
            "94dB0ms500ms");
  for (const auto& step : steps) {
    parameters.amplificator = step.amplificator;
    const std::string before = RegistryVersion();
    panel->ValueSlider(Limiter::kLimit)->setValue(step.position);
    panel->RefreshLabels();
    Settle();
    EXPECT_EQ(panel->ValueLabel(Limiter::kLimit)->text().toStdString(), step.label);
    EXPECT_EQ(panel->Warning()->text().left(int(strlen(step.warning))).toStdString(), step.warning);
    EXPECT_EQ(panel->Warning()->text().isEmpty(), *step.warning == 0);
    EXPECT_EQ(RegistryVersion() != before, step.position != 0 || step.amplificator == 0);
  }
  panel->ValueSlider(Limiter::kAttack)->setValue(10);
  EXPECT_EQ(parameters.limiter.values[0].level, 48);
  EXPECT_DOUBLE_EQ(parameters.limiter.values[1].attack, 0.01);
  Settle();
  EXPECT_EQ(Stored("limiter_right") + " " + Stored("attack_left"), "48 0.01000000");
  EXPECT_EQ(marks, 0);  // the limiter is not part of a configuration
}

TEST_F(LimiterPanel, SideClicksAlwaysWriteAndACopyAsksAndRedrawsTheGraph) {
  state.limiterValues[0].level = 100;
  state.limiterValues[1].level = 90;
  auto* panel = Show<Limiter>(kLimiter);
  ASSERT_EQ(panel->Sides()->checkedId(), panels::kSideLeft);
  std::string before = RegistryVersion();
  ClickSide(panel->Sides(), panels::kSideLeft);
  Settle();
  EXPECT_NE(RegistryVersion(), before);
  ClickSide(panel->Sides(), panels::kSideRight);
  EXPECT_EQ(panel->ValueSlider(Limiter::kLimit)->value(), 30);

  prompt.Answer(platform::PromptAnswer::Cancel);
  ClickSide(panel->Sides(), panels::kSideBoth);
  EXPECT_EQ(panel->Sides()->checkedId(), panels::kSideRight);
  EXPECT_EQ(state.limiterValues[0].level, 100);

  const QImage twoLevels = panel->Graph()->grab().toImage();
  prompt.Answer(platform::PromptAnswer::Yes);
  ClickSide(panel->Sides(), panels::kSideBoth);
  EXPECT_EQ(prompt.messages.back().text.substr(0, 24), "Limiter curves from left");
  EXPECT_EQ(state.limiterValues[0].level, 90);
  EXPECT_EQ(parameters.limiter.values[0].level, 90);
  Settle();
  EXPECT_EQ(Stored("limiter_left"), "90");
  EXPECT_NE(panel->Graph()->grab().toImage(), twoLevels);
}

using MonitorPanel = PanelFixture;

TEST_F(MonitorPanel, SideIsReadWhenOpeningAndWrittenWhenClosing) {
  Store("monitor_side", "7");
  auto* panel = Show<panels::CFormMonitor>(kMonitor);
  EXPECT_EQ(panel->Sides()->checkedId(), panels::kSideLeft);
  EXPECT_EQ(panel->Picture()->pixmap().size(), QSize(152, 153));
  Show<panels::CFormEqualizer>(kEqualizer);
  EXPECT_EQ(Stored("monitor_side"), "1025");

  ClickSide(Show<panels::CFormMonitor>(kMonitor)->Sides(), panels::kSideBoth);
  Show<panels::CFormLimiter>(kLimiter);
  EXPECT_EQ(Stored("monitor_side"), "1027");
  EXPECT_EQ(Show<panels::CFormMonitor>(kMonitor)->Sides()->checkedId(), panels::kSideBoth);
  ClickSide(host.Current()->findChild<QButtonGroup*>(), panels::kSideRight);
  host.ShowFirstPanel();  // the monitor replaced by a new one, as after loading a configuration
  EXPECT_EQ(dynamic_cast<panels::CFormMonitor*>(host.Current())->Sides()->checkedId(), panels::kSideRight);
}

// In Portuguese no caption of any panel is left in English: each comes from the string table.
TEST_F(MonitorPanel, EveryPanelCaptionFollowsThePortugueseTable) {
  platform::SetUiLanguage(platform::kLanguagePortuguese);
  state.panelTabs.clear();  // the tabs as a start in Portuguese adds them
  host.AddStandardPanelTabs();
  const QStringList english = {"Side", "Gather", "Flate", "Center",     "Threshold", "Attack",      "Release", "Limit ",
                               "Left", "Right",  "Both",  "Click Here", "Equalizer", "Compression", "Limiter"};
  auto texts = [](QWidget* panel) {
    QStringList all;
    for (auto* label : panel->findChildren<QLabel*>()) all << label->text() << label->toolTip();
    for (auto* button : panel->findChildren<QAbstractButton*>()) all << button->text();
    for (auto* box : panel->findChildren<QGroupBox*>()) all << box->title();
    for (auto* tabs : panel->findChildren<QTabBar*>())
      for (int i = 0; i < tabs->count(); ++i) all << tabs->tabText(i);
    return all.join('|');
  };
  const QString shown = texts(Show<panels::CFormMonitor>(kMonitor)) + texts(Show<panels::CFormEqualizer>(kEqualizer)) +
                        texts(Show<panels::CFormCompress>(kCompression)) + texts(Show<Limiter>(kLimiter));
  for (const QString& word : english)
    EXPECT_FALSE(shown.contains(word)) << word.toStdString() << " in " << shown.toStdString();
  EXPECT_TRUE(shown.contains("Lado: ") && shown.contains("Plano") && shown.contains("Compressão"))
      << shown.toStdString();
  platform::SetUiLanguage(platform::kLanguageEnglish);
}

}  // namespace
}  // namespace panels_test
