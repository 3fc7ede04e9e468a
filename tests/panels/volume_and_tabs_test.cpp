#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTabBar>
#include <cmath>

#include "engine/volume.h"
#include "panels/panel_registry.h"
#include "tests/panels/panel_fixture.h"

namespace panels_test {
namespace {

using VolumeControls = PanelFixture;

double GainDb(const engine::ProcessingParameters& parameters, int channel) {
  return 20.0 * std::log10(parameters.volume.gain[channel].load());
}

TEST_F(VolumeControls, GatheredStepsKeepTheOffsetAndStopAtTheEndsUngatheredOnesMoveOneTheBottomIsMute) {
  panels::LoadVolumeSettings(state);
  auto* panel = Show<panels::CFormEqualizer>(kEqualizer);
  EXPECT_EQ(panel->VolumeSlider(0)->value(), 40);
  EXPECT_EQ(panel->VolumeLabel(1)->text(), "0dB");
  EXPECT_TRUE(panel->GatherBox()->isChecked());
  QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);  // the arrow moves the thumb the way it points
  QApplication::sendEvent(panel->VolumeSlider(0), &up);
  EXPECT_EQ(panel->VolumeSlider(1)->value(), 39);
  EXPECT_EQ(panel->VolumeLabel(0)->text(), "1dB");

  panel->VolumeSlider(0)->setValue(30);
  Settle();
  EXPECT_EQ(panel->VolumeSlider(1)->value(), 30);
  EXPECT_NEAR(GainDb(parameters, 1), 10.0, 1e-9);
  EXPECT_EQ(panel->VolumeLabel(1)->text(), "10dB");
  EXPECT_EQ(Stored("volume_left") + Stored("volume_right"), "3.16233.1623");

  panel->VolumeSlider(1)->setValue(0);  // right at the top, left follows to 0 as well
  panel->VolumeSlider(1)->setValue(5);
  panel->VolumeSlider(0)->setValue(0);  // left up by 5: right stays at the top
  EXPECT_EQ(panel->VolumeSlider(1)->value(), 0);
  EXPECT_NEAR(GainDb(parameters, 1), 40.0, 1e-9);
  EXPECT_EQ(marks, 0);  // volume is not part of a configuration

  // The bottom is mute, stored as -34 dB; without Gather a slider moves alone.
  panel->GatherBox()->click();
  Settle();
  EXPECT_EQ(Stored("gather"), "0");
  panel->VolumeSlider(0)->setValue(80);
  Settle();
  EXPECT_EQ(panel->VolumeLabel(0)->text(), "mute");
  EXPECT_EQ(panel->VolumeSlider(1)->value(), 0);
  EXPECT_EQ(Stored("volume_left"), "0.0200");
  panels::LoadVolumeSettings(state);
  EXPECT_EQ(state.volumePositionLeft, 74);  // -34 dB again: a stored gain comes back at its own step, not the one above
  EXPECT_EQ(state.gatherChecked, 0);
  Store("volume_left", "1e300");  // stored values beyond the sliders reach the engine within their range
  Store("volume_right", "-3");
  panels::LoadVolumeSettings(state);
  EXPECT_EQ(state.volumePositionLeft, 0);
  EXPECT_EQ(state.volumePositionRight, 80);
}

// Sliders dragged or stepped write nothing while the steps go on, and their values once the steps stop.
TEST_F(VolumeControls, StepsWriteTheSettingsOnceWhenTheyStop) {
  panels::LoadVolumeSettings(state);
  panels::LoadLimiterSettings(state);
  auto* panel = Show<panels::CFormLimiter>(kLimiter);
  const std::string before = RegistryVersion();
  QElapsedTimer waited;  // since the last step
  for (int position = 39; position >= 30; --position) {
    panel->VolumeSlider(0)->setValue(position);
    panel->ValueSlider(panels::CFormLimiter::kLimit)->setValue(position);
    waited.start();
    QCoreApplication::processEvents();
    EXPECT_EQ(RegistryVersion(), before) << "written while the slider still moves, at " << position;
  }
  while (RegistryVersion() == before && waited.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_GE(waited.elapsed(), 300) << "the change had no time to settle";
  EXPECT_EQ(Stored("volume_left") + " " + Stored("limiter_left"), "3.1623 90");
}

// Every control a user sets is reached with Tab, and sliders are named for screen readers.
TEST_F(VolumeControls, EveryControlIsInTheTabChainAndSlidersHaveNames) {
  QWidget window;
  host.setParent(&window);
  window.show();
  for (Tab tab : {kMonitor, kEqualizer, kCompression, kLimiter}) {
    panels::CFormBase* panel = Show<panels::CFormBase>(tab);
    QSet<QWidget*> reached;
    QWidget* start = panel->Tabs();
    for (QWidget* widget = start->nextInFocusChain(); widget != start; widget = widget->nextInFocusChain())
      if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible()) reached.insert(widget);
    for (QWidget* control : panel->findChildren<QWidget*>()) {
      const bool operable =
          (qobject_cast<QSlider*>(control) || qobject_cast<QAbstractButton*>(control)) && control->isVisibleTo(panel);
      if (operable) { EXPECT_TRUE(reached.contains(control)) << tab << " " << control->metaObject()->className(); }
      if (auto* slider = qobject_cast<QSlider*>(control)) { EXPECT_FALSE(slider->accessibleName().isEmpty()); }
    }
  }
  host.setParent(nullptr);
}

using PanelTabs = PanelFixture;

TEST_F(PanelTabs, SwitchMakesTheNewPanelFirstKeepsSharedValuesAndSetsTheTitle) {
  QWidget window;
  host.setParent(&window);
  panels::LoadVolumeSettings(state);
  configuration.rightCurve.SetAllGains(2.0f);
  auto* equalizer = Show<panels::CFormEqualizer>(kEqualizer);
  equalizer->VolumeSlider(0)->setValue(20);
  ClickSide(equalizer->Sides(), panels::kSideRight);
  QPointer<QWidget> old(equalizer);
  equalizer->Tabs()->setCurrentIndex(kLimiter);  // the user's click on a tab
  EXPECT_FALSE(old.isNull());                    // still there while the new one is shown
  auto* limiter = dynamic_cast<panels::CFormLimiter*>(host.Current());
  ASSERT_NE(limiter, nullptr);
  EXPECT_EQ(window.windowTitle(), "Tonvex v1.0");
  EXPECT_EQ(limiter->Tabs()->currentIndex(), kLimiter);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(old.isNull());
  EXPECT_EQ(limiter->VolumeSlider(0)->value(), 20);
  EXPECT_EQ(limiter->VolumeSlider(1)->value(), 20);
  EXPECT_EQ(Show<panels::CFormEqualizer>(kEqualizer)->Sides()->checkedId(), panels::kSideRight);
  host.setParent(nullptr);
}

}  // namespace
}  // namespace panels_test
