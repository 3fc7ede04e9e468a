#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QEvent>
#include <QSlider>
#include <string>

#include "engine/processing_parameters.h"
#include "panels/form_compress.h"
#include "panels/form_equalizer.h"
#include "panels/form_limiter.h"
#include "panels/form_monitor.h"
#include "panels/panel_host.h"
#include "panels/panel_state.h"
#include "settings/configuration_model.h"
#include "tests/qt_support/silent_monitor.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/scripted_prompt.h"

namespace panels_test {

// The registry sandbox, fresh parameters and configuration, the four tabs in the application's order,
// and a count of the configuration's modified marks.
class PanelFixture : public testing_support::RegistrySandbox {
 protected:
  enum Tab { kMonitor, kEqualizer, kCompression, kLimiter };

  void SetUp() override {
    RegistrySandbox::SetUp();
    configuration.leftCurve.ResetToDefaults();
    configuration.rightCurve.ResetToDefaults();
    host.AddStandardPanelTabs();
  }
  // Shows a tab and lets the previous panel go, as the event loop would.
  template <typename Panel>
  Panel* Show(Tab tab) {
    EXPECT_TRUE(host.ShowPanel(tab));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return dynamic_cast<Panel*>(host.Current());
  }

  std::string Stored(const char* name) { return Value(platform::HKEY_CURRENT_USER, name); }
  void Store(const char* name, const std::string& text) { SetValue(platform::HKEY_CURRENT_USER, name, text); }
  // Changes whenever the registry file is replaced, i.e. on every write.
  std::string RegistryVersion() {
    struct stat info {};
    if (::stat(platform::RegistryFilePath(platform::HKEY_CURRENT_USER).c_str(), &info) != 0) return "none";
    return std::to_string(info.st_ino) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
  }
  // Runs the writes that wait for the change to settle, as the settle time passing would.
  void Settle() { state.writes.Flush(); }
  // A user's click on a side button.
  static void ClickSide(QButtonGroup* sides, int side) { sides->button(side)->click(); }

  engine::ProcessingParameters parameters;
  settings::ConfigurationModel configuration;
  testing_support::ScriptedPrompt prompt;
  testing_support::SilentMonitor monitor;
  int marks = 0;
  panels::PanelState state{parameters, configuration, prompt, monitor, [this] { ++marks; }};
  panels::PanelHost host{state};
};

}  // namespace panels_test
