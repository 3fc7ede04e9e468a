// A configuration per output device: which preset or user configuration each device plays with.
#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/path_text.h"
#include "settings/preset_selection.h"
#include "settings/string_ids.h"

namespace settings {
namespace {

// Stored under the product key, a value per device description: "preset:FILE" or "file:TITLE".
constexpr const char* kPresetPrefix = "preset:";
constexpr const char* kFilePrefix = "file:";
constexpr uint32_t kMaxBindingBytes = 4096;

std::string BindingsKey() { return platform::LoadString(kStringProductKey) + "\\Devices"; }

bool TakePrefix(std::string& text, std::string_view prefix) {
  if (text.rfind(prefix, 0) != 0) return false;
  text.erase(0, prefix.size());
  return !text.empty();
}

}  // namespace

std::string PresetSelection::BindingText() const {
  if (selectionName.empty()) return {};
  if (!EqualIgnoringCase(selectionName, "Custom")) return kPresetPrefix + selectionName;
  return customTitle.empty() ? std::string() : kFilePrefix + customTitle;  // "Custom.tvh" alone has no name
}

bool PresetSelection::BindToDevice(const std::string& device) {
  const std::string binding = BindingText();
  platform::RegistryKey key;
  return !binding.empty() && !device.empty() && key.Create(platform::HKEY_CURRENT_USER, BindingsKey()) == 0 &&
         key.SetString(device, binding) == 0;
}

std::string PresetSelection::DeviceBinding(const std::string& device) const {
  platform::RegistryKey key;
  std::string binding;
  if (device.empty() || key.Open(platform::HKEY_CURRENT_USER, BindingsKey(), platform::KEY_READ) != 0 ||
      key.QueryString(device, &binding, kMaxBindingBytes) != 0)
    return {};
  return binding;
}

bool PresetSelection::ApplyDeviceBinding(const std::string& device) {
  std::string binding = DeviceBinding(device);
  if (binding.empty() || binding == BindingText()) return false;
  if (TakePrefix(binding, kPresetPrefix)) {
    const int index = FindPreset(binding);
    if (index < 0) return false;
    presetCombo->Select(index);
    OnPresetSelected();  // asks about unsaved changes as a choice in the list does
    return true;
  }
  if (!TakePrefix(binding, kFilePrefix)) return false;
  OfferToSavePending();
  return LoadUserFile(ConfigFolder() + "/" + binding + ".tva") == 0;
}

}  // namespace settings
