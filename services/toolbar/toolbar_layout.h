#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace services {

inline constexpr int kSeparatorCommand = 0;  // a separator's place in a layout

// What the user made of the toolbar: the options and the buttons on it, in order.
struct ToolbarLayout {
  int iconOption = 0;  // 0 small (16 px), 1 large (24 px)
  int textOption = 1;  // 0 labels below, 1 labels on the right, 2 no labels
  std::vector<int> commands;
};

// The stored form is one string value, "<icon option> <text option> <command>...", e.g.
// "0 1 57601 57603 0 32781": the options first, then the
// command of each button (0 for a separator). Parsing refuses anything else, options out of range
// included, so a damaged value leaves the resource's layout.
std::string FormatToolbarLayout(const ToolbarLayout& layout);
std::optional<ToolbarLayout> ParseToolbarLayout(std::string_view text);

// The layout under the current user's product key, "<product key>\Settings", value `valueName`.
// Failures are not reported: a layout that cannot be read or written is the resource's.
std::optional<ToolbarLayout> ReadToolbarLayout(const std::string& valueName);
void WriteToolbarLayout(const std::string& valueName, const ToolbarLayout& layout);

}  // namespace services
