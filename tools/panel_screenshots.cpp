// Renders each panel in English and Portuguese with settings worth looking at, as PNG files:
//   tonvex-panel-screenshots OUTDIR
// Runs on any Qt platform; tools/screenshots.sh uses the offscreen one.
#include <stdlib.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/processing_parameters.h"
#include "engine/volume.h"
#include "graphs/graph_monitor.h"
#include "panels/form_monitor.h"
#include "panels/panel_host.h"
#include "panels/panel_registry.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "platform/user_prompt.h"

namespace {

// A playing engine: music-like band levels and an overall level near the limit.
class PlayingMonitor : public graphs::IMonitorSource {
 public:
  void PostRequest(engine::MonitorSide) override {}
  bool TakeReply(graphs::MonitorReading& reading) override {
    reading.bands = {78.0, 84.0, 80.0, 74.0, 71.0, 66.0, 60.0, 48.0};
    reading.total = 95.0;  // near the limit: the top segments turn orange
    return true;
  }
  graphs::MonitorOutputFormat OutputFormat() override { return {48000, 16, 2}; }
  std::array<int, 2> LimiterLevels() override { return {94, 94}; }
};

void SetCurves(settings::ConfigurationModel& configuration) {
  configuration.leftCurve.SetPoints(
      {{25, 6}, {63, 4}, {160, 1}, {400, -2}, {1000, -1}, {2500, 2}, {6300, 5}, {16000, 7}});
  configuration.rightCurve.SetPoints(
      {{25, 3}, {63, 2}, {160, 0}, {400, -4}, {1000, -6}, {2500, -3}, {6300, 1}, {16000, 2}});
  configuration.compressorValues[0] = configuration.compressorValues[1] = {40, 60, 4.0f, 0.02, 0.3};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const QString outdir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(outdir);
  // A private registry, so the user's own values neither show nor change.
  std::string registry = (std::filesystem::temp_directory_path() / "tonvex-shots-XXXXXX").string();
  if (!::mkdtemp(registry.data())) return 1;
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, registry);

  const struct {
    int language;
    const char* suffix;
  } languages[] = {{platform::kLanguageEnglish, "en"}, {platform::kLanguagePortuguese, "pt"}};
  const char* names[] = {"monitor", "equalizer", "compression", "limiter"};
  int failures = 0;
  for (const auto& language : languages) {
    platform::SetUiLanguage(language.language);
    engine::ProcessingParameters parameters;
    settings::ConfigurationModel configuration;
    SetCurves(configuration);
    platform::ConsolePrompt prompt;
    PlayingMonitor monitor;
    panels::PanelState state(parameters, configuration, prompt, monitor, [] {});
    panels::LoadVolumeSettings(state);
    engine::CVolume volume(parameters.volume);
    volume.SetVolumePosition(state.volumePositionLeft = 34, 0);
    volume.SetVolumePosition(state.volumePositionRight = 46, 1);
    state.limiterValues = {panels::LimiterValues{100, 0.005, 0.4}, panels::LimiterValues{90, 0.0, 0.6}};
    state.monitorSide = panels::kSideBoth;

    QWidget window;
    panels::PanelHost host(state, &window);
    host.AddStandardPanelTabs();
    window.setFixedSize(host.size());
    window.show();
    for (int tab = 0; tab < 4; ++tab) {
      host.ShowPanel(tab);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      if (auto* monitorPanel = dynamic_cast<panels::CFormMonitor*>(host.Current())) monitorPanel->Graph()->Tick();
      QCoreApplication::processEvents();
      const QString file = outdir + "/" + names[tab] + "_" + language.suffix + ".png";
      if (!window.grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", file.toLocal8Bit().constData());
        ++failures;
      }
    }
  }
  std::filesystem::remove_all(registry);
  return failures ? 1 : 0;
}
