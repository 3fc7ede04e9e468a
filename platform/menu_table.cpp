#include "platform/menu_table.h"

#include "platform/string_table.h"

namespace platform {
namespace {

struct MenuText {
  int menu;
  int command;
  const char* english;
  const char* portuguese;
};

constexpr MenuText kMenus[] = {
#define TONVEX_MENU_ITEM(menu, command, english, portuguese) {menu, command, english, portuguese},
#include "resources/menus.inc"
#undef TONVEX_MENU_ITEM
};

}  // namespace

std::vector<MenuItem> LoadMenu(int menuId) {
  std::vector<MenuItem> items;
  const bool portuguese = UiLanguage() == kLanguagePortuguese;
  for (const MenuText& entry : kMenus)
    if (entry.menu == menuId) items.push_back({entry.command, portuguese ? entry.portuguese : entry.english});
  return items;
}

}  // namespace platform
