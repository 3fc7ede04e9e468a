#pragma once
#include <QComboBox>

#include "settings/preset_list.h"

namespace services {

// The toolbar's drop-down list of presets. The selection code fills and selects it through the
// preset list interface, which behaves like a drop-down list box: adding to an empty list selects
// nothing, and deleting the selected item leaves no selection (a plain QComboBox would select
// another item in both cases, and that item would look chosen). Only the user's choice emits
// `activated`.
class PresetComboBox : public QComboBox, public settings::PresetList {
 public:
  explicit PresetComboBox(QWidget* parent = nullptr);

  int Count() const override { return count(); }
  std::string Text(int index) const override { return itemText(index).toStdString(); }
  int Add(const std::string& text) override { return Insert(-1, text); }
  int Insert(int index, const std::string& text) override;
  void Delete(int index) override;
  int Selected() const override { return currentIndex(); }
  void Select(int index) override;
};

}  // namespace services
