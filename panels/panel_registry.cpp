#include "panels/panel_registry.h"

#include <string>

#include "engine/volume.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/number_text.h"
#include "settings/stored_levels.h"
#include "settings/string_ids.h"

namespace panels {
namespace {

bool OpenProductKey(platform::RegistryKey& key, uint32_t access) {
  return key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(settings::kStringProductKey), access) == 0;
}

void RefreshVolumePositions(PanelState& state) {
  engine::CVolume volume(state.parameters.volume);
  state.volumePositionLeft = volume.GetVolumePosition(0);
  state.volumePositionRight = volume.GetVolumePosition(1);
  state.gatherChecked = volume.GetGather();
}

}  // namespace

void LoadVolumeSettings(PanelState& state) {
  settings::LoadStoredVolume(state.parameters.volume);
  RefreshVolumePositions(state);
}

void SaveVolumeSettings(PanelState& state) { settings::SaveStoredVolume(state.parameters.volume); }

void SaveVolumeSettingsSettled(PanelState& state) {
  state.writes.Schedule(StoredPart::kVolume, [&state] { SaveVolumeSettings(state); });
}

void LoadLimiterSettings(PanelState& state) {
  state.limiterValues = settings::LoadStoredLimiter();
  RefreshVolumePositions(state);
  settings::ApplyLimiter(state.limiterValues, state.parameters);
}

void SaveLimiterSettings(PanelState& state) { settings::SaveStoredLimiter(state.limiterValues); }

void SaveLimiterSettingsSettled(PanelState& state) {
  state.writes.Schedule(StoredPart::kLimiter, [&state] { SaveLimiterSettings(state); });
}

void LoadMonitorSide(PanelState& state) {
  platform::RegistryKey key;
  std::string text;
  if (!OpenProductKey(key, platform::KEY_READ) || key.QueryString("monitor_side", &text, 1024) != 0) return;
  const int side = settings::ParseInteger(text);
  state.monitorSide = side == kSideRight || side == kSideBoth ? side : kSideLeft;
}

void SaveMonitorSide(const PanelState& state) {
  platform::RegistryKey key;
  if (!OpenProductKey(key, platform::KEY_WRITE)) return;
  key.SetString("monitor_side", settings::FormatInteger(state.monitorSide));
}

}  // namespace panels
