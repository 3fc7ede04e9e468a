#pragma once

namespace services {

// The main window's toolbar commands; each one's string-table text has the same id.
inline constexpr int kCommandOpen = 57601;        // open a user configuration
inline constexpr int kCommandSave = 57603;
inline constexpr int kCommandSelection = 32781;
inline constexpr int kCommandPresetList = 1046;   // the place of the preset combo box
inline constexpr int kCommandConfig = 32786;      // with the Devices / Configure drop-down
inline constexpr int kCommandAbout = 57664;

}  // namespace services
