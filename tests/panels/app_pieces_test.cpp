#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSlider>
#include <QWidget>
#include <cstdlib>

#include "panels/template_controls.h"
#include "widgets/dialog_units.h"
#include "widgets/link_label.h"
#include "widgets/qt_engine_reporter.h"
#include "widgets/qt_prompt.h"

namespace {

TEST(DialogUnits, EachEdgeRoundsOnItsOwnSoTouchingControlsStillTouch) {
  EXPECT_EQ(widgets::DialogRect(0, 0, 482, 186), QRect(0, 0, 723, 302));
  // 21.5 units wide at 1.5 px: left 31.5 -> 32, right 55.5 -> 56.
  EXPECT_EQ(widgets::DialogRect(21, 44, 16, 93), QRect(32, 72, 24, 151));
  EXPECT_EQ(widgets::DialogRect(21, 44, 16, 93).right() + 1, widgets::DialogRect(37, 44, 10, 93).left());
}

TEST(LinkLabel, AClickOpensTheAddressAndMarksItVisited) {
  widgets::CLinkLabel link("www.brevalto.com");
  QString opened;
  link.openUrl = [&](const QString& url) { opened = url; };
  link.SetUrl("https://example.test/");
  link.resize(100, 20);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(&link, &release);
  EXPECT_EQ(opened, "https://example.test/");
  EXPECT_EQ(link.TextColour(), widgets::CLinkLabel::kVisitedColour);
}

// Pixels in the middle column of the slider from row `top` up to `bottom` in the style's fill colour (the
// highlight).
int Filled(QSlider& slider, double top, double bottom) {
  const QImage image = slider.grab().toImage();
  const QColor fill = slider.palette().color(QPalette::Highlight);
  int filled = 0;
  for (int y = int(top * image.height()); y < int(bottom * image.height()); ++y) {
    const QColor pixel = image.pixelColor(image.width() / 2, y);
    filled += std::abs(pixel.hue() - fill.hue()) < 20 && pixel.saturation() > 60;
  }
  return filled;
}

// The groove fills from the bottom up to the handle: at the top of the scale (the largest value) the
// groove is full, at the bottom (mute, -12 dB) empty.
TEST(TemplateSlider, TheGrooveFillsFromTheBottomToTheHandle) {
  QWidget parent;
  QSlider* slider = panels::MakeSlider(&parent, 0, 0, 16, 93, 100, "volume");
  parent.resize(200, 200);
  slider->setValue(50);  // the handle in the middle
  EXPECT_EQ(Filled(*slider, 0, 0.4), 0);
  EXPECT_GT(Filled(*slider, 0.6, 1), 20);
  slider->setValue(slider->maximum());  // the handle at the bottom
  EXPECT_EQ(Filled(*slider, 0, 0.8), 0);
}

TEST(QtPrompt, FileFiltersBecomeQtNameFilters) {
  EXPECT_EQ(widgets::QtNameFilters("Tonvex Files (*.tva)|*.tva|Presets|*.tvd;*.tvh||"),
            (QStringList{"Tonvex Files (*.tva)", "Presets (*.tvd *.tvh)"}));
}

// The engine's thread only queues; the box appears on the user-interface thread, one at a time (the
// queue's own merging of repeats is tested with the engine).
TEST(QtEngineReporter, ReportsShowOneBoxAtATimeOnTheInterfaceThread) {
  engine::ReportQueue queue;
  widgets::QtEngineReporter reporter(queue, nullptr);
  queue.ShowError("Exception Error: first");
  EXPECT_EQ(reporter.OpenBox(), nullptr);  // nothing happens on the reporting thread
  QCoreApplication::processEvents();
  QMessageBox* first = reporter.OpenBox();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text(), "Exception Error: first");
  queue.ShowError("Exception Error: second");
  QCoreApplication::processEvents();
  EXPECT_EQ(reporter.OpenBox(), first);
  first->done(QMessageBox::Ok);
  ASSERT_NE(reporter.OpenBox(), nullptr);
  EXPECT_EQ(reporter.OpenBox()->text(), "Exception Error: second");
}

}  // namespace
