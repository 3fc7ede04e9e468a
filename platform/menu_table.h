#pragma once
#include <string>
#include <vector>

namespace platform {

// One entry of a menu resource; command 0 is a separator.
struct MenuItem {
  int command = 0;
  std::string text;  // "&" marks the mnemonic
};

// The items of menu `menuId` in the interface language (string_table.h), in menu order; empty for an
// unknown menu. Menu texts are kept apart from the string table because command ids and string ids
// overlap (32787 is "&Updates" in a menu and a limiter question in the string table).
std::vector<MenuItem> LoadMenu(int menuId);

}  // namespace platform
