#pragma once

namespace services {

// The commands of the main window's toolbar and the notification-area menu; a toolbar command's
// string-table text has the same id. Stored toolbar layouts name their buttons by these numbers.
inline constexpr int kCommandExit = 32771;
inline constexpr int kCommandConfigure = 32772;
inline constexpr int kCommandOpenWindow = 32773;
inline constexpr int kCommandDevices = 32774;
inline constexpr int kCommandSelection = 32781;
inline constexpr int kCommandConfig = 32786;  // with the Devices / Configure drop-down
inline constexpr int kCommandUpdates = 32787;
inline constexpr int kCommandOpen = 57601;  // open a user configuration
inline constexpr int kCommandSave = 57603;
inline constexpr int kCommandAbout = 57664;
inline constexpr int kCommandPresetList = 1046;     // the place of the preset combo box
inline constexpr int kCommandBypass = 32795;        // checkable: plays the sound untouched
inline constexpr int kCommandUseForDevice = 32796;  // binds the current configuration to the output device

// The notification-area menu (menu resource 130).
inline constexpr int kTrayMenu = 130;

}  // namespace services
