#pragma once
#include <string>
#include <vector>

#include "settings/preset_list.h"

namespace testing_support {

// The toolbar's preset list as a plain vector, behaving like a drop-down list box.
class MemoryPresetList : public settings::PresetList {
 public:
  int Count() const override { return static_cast<int>(items.size()); }
  std::string Text(int index) const override { return Valid(index) ? items[index] : std::string(); }
  int Add(const std::string& text) override {
    items.push_back(text);
    return Count() - 1;
  }
  int Insert(int index, const std::string& text) override {
    if (index < 0 || index > Count()) return Add(text);
    items.insert(items.begin() + index, text);
    if (selected >= index) ++selected;
    return index;
  }
  void Delete(int index) override {
    if (!Valid(index)) return;
    items.erase(items.begin() + index);
    if (selected == index)
      selected = -1;
    else if (selected > index)
      --selected;
  }
  int Selected() const override { return selected; }
  void Select(int index) override { selected = Valid(index) ? index : -1; }

  std::vector<std::string> items;
  int selected = -1;

 private:
  bool Valid(int index) const { return index >= 0 && index < Count(); }
};

}  // namespace testing_support
