// tonvex-e2e-driver: the desktop program with a command channel on stdin for tests/e2e/run_desktop_e2e.sh,
// which plays and records sound between the commands. Each command answers one line on stdout:
//   select TEXT   choose the preset whose entry starts with TEXT in the toolbar's list, as a click would
//   modify        change the left curve's first point by +6 dB, as the equalizer panel would
//   state         the list's selected entry and the left curve's first point
//   tray-exit     the tray menu's Exit, answered Yes
//   hide / show   hide the window into the notification area / bring it back on the Monitor tab
//   tab N         show panel N (0 Monitor .. 3 Limiter)
//   slide up|down one keyboard step of the shown panel's left volume slider: its position
//   device NAME   choose the output device NAME in the Output Device dialog's list, as a click would: the
//                 monotonic clock's seconds just before ("chosen T")
//   stats         the output's counters of what a listener notices (blocks with sound dropped, silent buffers
//                 inserted next to sound): "dropped N silent N position P" (P the left volume slider's position)
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QSlider>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/main_frame.h"
#include "app/run_desktop.h"
#include "app/tonvex_app.h"
#include "panels/form_base.h"
#include "settings/configuration_model.h"
#include "settings/preset_selection.h"

namespace {

desktop::CTonvexApp* application = nullptr;

void Answer(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string State(desktop::CMainFrame& frame) {
  const settings::CCurve& curve = settings::Configuration().leftCurve;
  char point[64] = "none";
  if (curve.PointCount() > 0) std::snprintf(point, sizeof point, "%g", curve.points[0].gain);
  return "selected=" + frame.Presets().currentText().toStdString() + " left0=" + point;
}

void Run(desktop::CMainFrame& frame, const std::string& line) {
  if (line.rfind("select ", 0) == 0) {
    const QString wanted = QString::fromStdString(line.substr(7));
    for (int i = 0; i < frame.Presets().count(); ++i) {
      if (!frame.Presets().itemText(i).startsWith(wanted)) continue;
      frame.Presets().setCurrentIndex(i);
      emit frame.Presets().activated(i);
      return Answer(State(frame));
    }
    return Answer("no such preset");
  }
  if (line == "modify") {
    std::vector<settings::CurvePoint> points = settings::Configuration().leftCurve.points;
    if (!points.empty()) points[0].gain += 6;
    settings::Configuration().leftCurve.SetPoints(points);
    settings::Selection().MarkModified();
    return Answer(State(frame));
  }
  if (line == "state") return Answer(State(frame));
  if (line.rfind("device ", 0) == 0) {
    desktop::COutputDeviceDialog& devices = frame.Devices();
    devices.Fill(std::string());
    const int entry = devices.List()->findText(QString::fromStdString(line.substr(7)));
    if (entry < 0) return Answer("no such device");
    const double chosen = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    devices.List()->setCurrentIndex(entry);
    emit devices.List()->activated(entry);
    char text[64];
    std::snprintf(text, sizeof text, "chosen %.3f", chosen);
    return Answer(text);
  }
  QSlider* volume = frame.Host().Current() ? frame.Host().Current()->VolumeSlider(0) : nullptr;
  if (line.rfind("slide ", 0) == 0 && volume) {
    volume->triggerAction(line == "slide up" ? QSlider::SliderSingleStepAdd : QSlider::SliderSingleStepSub);
    return Answer("position " + std::to_string(volume->value()));
  }
  if (line == "stats" && application->Live()) {
    const engine::OutputStatistics stats = application->Live()->Dsp().Output().Statistics();
    return Answer("dropped " + std::to_string(stats.soundBlocksDropped) + " silent " +
                  std::to_string(stats.silenceInsertedInSound) + " position " +
                  std::to_string(volume ? volume->value() : -1));
  }
  if (line == "hide" || line == "show") {
    line == "hide" ? frame.hide() : frame.OnCommand(32773);  // the tray menu's Open
    return Answer(State(frame));
  }
  if (line.rfind("tab ", 0) == 0) {
    frame.Host().ShowPanel(std::stoi(line.substr(4)));
    return Answer(State(frame));
  }
  if (line == "tray-exit") {
    // The question "Do you want exit the program ?" is answered Yes once it is up.
    QTimer::singleShot(500, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) yes->click();
    });
    emit frame.Tray().Command(32771);
    return;
  }
  Answer("unknown command");
}

}  // namespace

int main(int argc, char** argv) {
  return desktop::RunDesktop(argc, argv, [](desktop::CTonvexApp& tonvex) {
    application = &tonvex;
    desktop::CMainFrame& frame = *tonvex.Frame();
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &frame);
    QObject::connect(input, &QSocketNotifier::activated, &frame, [&frame, input] {
      char buffer[256];
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer - 1);
      if (got <= 0) return input->setEnabled(false);
      std::string text(buffer, size_t(got));
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      Run(frame, text);
    });
    Answer("started");
  });
}
