#pragma once
#include "panels/panel_state.h"

// The panels' values under HKEY_CURRENT_USER\Software\Brevalto\Tonvex: volume, limiter and the monitor's
// side. Failures are silent: a read that fails keeps the defaults, a write to a missing key is skipped
// (the key is never created here).
namespace panels {

// Defaults (unity, Gather on), then "volume_left", "volume_right", "gather"; sets the shared positions.
void LoadVolumeSettings(PanelState& state);
void SaveVolumeSettings(PanelState& state);
// The same once the user's change settles (see SettledWrites): a slider's steps make one write.
void SaveVolumeSettingsSettled(PanelState& state);

// Defaults (94 dB SPL, 0 ms, 500 ms), then "limiter_*", "attack_*", "release_*"; refreshes the volume
// positions and hands both channels to the engine.
void LoadLimiterSettings(PanelState& state);
void SaveLimiterSettings(PanelState& state);
void SaveLimiterSettingsSettled(PanelState& state);

// "monitor_side" when present (anything but a side id reads as Left); otherwise the side is kept.
void LoadMonitorSide(PanelState& state);
void SaveMonitorSide(const PanelState& state);

}  // namespace panels
