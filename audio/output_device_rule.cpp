#include "audio/output_device_rule.h"

#include "engine/driver_protocol.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/string_ids.h"

namespace audio {
namespace {
constexpr const char* kDeviceValue = "device";
constexpr uint32_t kDeviceNameBytes = 1024;
}  // namespace

OutputChoice ChooseOutputDevice(const std::vector<OutputCandidate>& devices, const std::string& remembered,
                                const std::string& startDefault) {
  OutputChoice choice;
  int lastReal = -1, startDefaultIndex = -1;
  for (int i = 0; i < int(devices.size()); ++i) {
    if (devices[i].description == engine::kVirtualDeviceName) continue;
    if (devices[i].description == remembered) return {i, false};
    if (startDefaultIndex < 0 && !startDefault.empty() && devices[i].name == startDefault) startDefaultIndex = i;
    lastReal = i;
  }
  choice.index = startDefaultIndex >= 0 ? startDefaultIndex : lastReal;
  choice.store = choice.index >= 0;
  return choice;
}

std::string RememberedOutputDevice() {
  platform::RegistryKey key;
  std::string name;
  if (key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(settings::kStringProductKey), platform::KEY_READ) !=
          0 ||
      key.QueryString(kDeviceValue, &name, kDeviceNameBytes) != 0)
    return "unknown";
  return name;
}

void StoreOutputDevice(const std::string& description) {
  platform::RegistryKey key;
  if (key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(settings::kStringProductKey), platform::KEY_WRITE) !=
      0)
    return;
  key.SetString(kDeviceValue, description.substr(0, kDeviceNameBytes - 1));
}

}  // namespace audio
