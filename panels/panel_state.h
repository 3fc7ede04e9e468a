#pragma once
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "engine/processing_parameters.h"
#include "graphs/monitor_source.h"
#include "panels/settled_writes.h"
#include "panels/side_ids.h"
#include "platform/user_prompt.h"
#include "settings/configuration_model.h"
#include "settings/stored_levels.h"

namespace panels {

class CFormBase;
struct PanelState;

// One tab of the tab strip: its title and how to make its panel.
struct PanelTab {
  std::string title;
  std::function<CFormBase*(PanelState& state)> create;
};

using settings::LimiterValues;

// Everything the panels share and that outlives them: a panel is destroyed on every tab switch and
// rebuilds its controls from here. The application owns one and hands it to every panel it creates.
struct PanelState {
  PanelState(engine::ProcessingParameters& parameters, settings::ConfigurationModel& configuration,
             platform::UserPrompt& prompt, graphs::IMonitorSource& monitorSource, std::function<void()> markModified)
      : parameters(parameters),
        configuration(configuration),
        prompt(prompt),
        monitorSource(monitorSource),
        markModified(std::move(markModified)) {}

  engine::ProcessingParameters& parameters;     // the engine's blocks, written through their writers
  settings::ConfigurationModel& configuration;  // the curves and the compressor values
  platform::UserPrompt& prompt;                 // the questions on side changes
  graphs::IMonitorSource& monitorSource;        // what the monitor's meter reads
  std::function<void()> markModified;           // the current configuration was changed by the user

  int volumePositionLeft = 40;  // 0 (+40 dB) .. 80 (-40 dB)
  int volumePositionRight = 40;
  int gatherChecked = 1;

  int equalizerSide = kSideLeft;
  int compressorSide = kSideLeft;
  int limiterSide = kSideLeft;
  int monitorSide = kSideLeft;  // also in the registry, "monitor_side"

  std::array<LimiterValues, 2> limiterValues{};  // left, right

  std::vector<PanelTab> panelTabs;  // in tab order
  int currentPanelTab = 0;

  SettledWrites writes;  // the values above reach the settings file once a change settles
};

}  // namespace panels
