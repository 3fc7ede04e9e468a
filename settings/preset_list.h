#pragma once
#include <string>

namespace settings {

// The toolbar's drop-down list of presets, as the selection code uses it; the user interface
// implements it on its combo box.
class PresetList {
 public:
  virtual ~PresetList() = default;
  virtual int Count() const = 0;
  virtual std::string Text(int index) const = 0;
  virtual int Add(const std::string& text) = 0;                // appends; returns the new item's index
  virtual int Insert(int index, const std::string& text) = 0;  // returns the new item's index
  virtual void Delete(int index) = 0;
  virtual int Selected() const = 0;    // -1 when no item is selected
  virtual void Select(int index) = 0;  // an index outside the list clears the selection
};

}  // namespace settings
