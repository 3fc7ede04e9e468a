#include "services/toolbar/toolbar_layout.h"

#include <charconv>

#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/string_ids.h"

namespace services {
namespace {

// Room for every button and far more separators than a toolbar can show.
constexpr uint32_t kMaxValueBytes = 4096;

std::string SettingsKey() { return platform::LoadString(settings::kStringProductKey) + "\\Settings"; }

}  // namespace

std::string FormatToolbarLayout(const ToolbarLayout& layout) {
  std::string text = std::to_string(layout.iconOption) + ' ' + std::to_string(layout.textOption);
  for (int command : layout.commands) text += ' ' + std::to_string(command);
  return text;
}

std::optional<ToolbarLayout> ParseToolbarLayout(std::string_view text) {
  std::vector<int> numbers;
  const char* at = text.data();
  const char* end = at + text.size();
  while (at != end) {
    if (*at == ' ') {
      ++at;
      continue;
    }
    int number = 0;
    auto [next, error] = std::from_chars(at, end, number);
    if (error != std::errc() || number < 0 || (next != end && *next != ' ')) return std::nullopt;
    numbers.push_back(number);
    at = next;
  }
  if (numbers.size() < 2 || numbers[0] > 1 || numbers[1] > 2) return std::nullopt;
  return ToolbarLayout{numbers[0], numbers[1], std::vector<int>(numbers.begin() + 2, numbers.end())};
}

std::optional<ToolbarLayout> ReadToolbarLayout(const std::string& valueName) {
  platform::RegistryKey key;
  std::string text;
  if (key.Open(platform::HKEY_CURRENT_USER, SettingsKey(), platform::KEY_READ) != 0 ||
      key.QueryString(valueName, &text, kMaxValueBytes) != 0)
    return std::nullopt;
  return ParseToolbarLayout(text);
}

void WriteToolbarLayout(const std::string& valueName, const ToolbarLayout& layout) {
  platform::RegistryKey key;
  if (key.Create(platform::HKEY_CURRENT_USER, SettingsKey()) == 0)
    key.SetString(valueName, FormatToolbarLayout(layout));
}

}  // namespace services
