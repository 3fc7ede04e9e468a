#pragma once

namespace services {

// String table ids of the toolbar's own texts. A command's button label and prompt come from the
// string with the command's id ("Open an user configuration\nOpen").
inline constexpr int kStringToolbarTitle = 62200;    // "Standard"
inline constexpr int kStringCustomizeMenu = 62201;   // "&Customize..."
inline constexpr int kStringCustomizeTitle = 62202;  // "Customize Toolbar"
inline constexpr int kStringAvailableButtons = 62203;
inline constexpr int kStringCurrentButtons = 62204;
inline constexpr int kStringAddButton = 62205;
inline constexpr int kStringRemoveButton = 62206;
inline constexpr int kStringCloseButton = 62207;
inline constexpr int kStringResetButton = 62208;
inline constexpr int kStringMoveUpButton = 62209;
inline constexpr int kStringMoveDownButton = 62210;
inline constexpr int kStringSeparator = 62211;
inline constexpr int kStringTextOptionsLabel = 62212;  // "Te&xt options:"
inline constexpr int kStringIconOptionsLabel = 62213;  // "Ico&n options:"
inline constexpr int kStringShowTextLabels = 62214;    // text options 0, 1, 2 in order
inline constexpr int kStringIconsSmall = 62217;        // icon options 0, 1 in order

}  // namespace services
