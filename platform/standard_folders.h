#pragma once
#include <string>

namespace platform {

// The user's own configuration folder for Tonvex: $XDG_CONFIG_HOME/tonvex, else $HOME/.config/tonvex
// (the user database's home when HOME is unset). It holds the current user's registry file and the
// configuration folder (presets, user configurations, Custom.tvh).
std::string UserConfigFolder();

// The installation prefix: the folder above the one that holds the running executable
// (/usr/local for /usr/local/bin/tonvex); empty when the executable cannot be found.
std::string InstallationPrefix();

// Where an installation under `prefix` keeps its machine settings: /etc/tonvex for /usr (a distribution's
// package), else <prefix>/etc/tonvex.
std::string MachineSettingsFolder(const std::string& prefix);

}  // namespace platform
