#include "services/toolbar/preset_combo_box.h"

#include <QSignalBlocker>
#include <algorithm>

namespace services {
namespace {

// The list is 200 pixels wide and drops down about 120 pixels.
constexpr int kWidth = 200;
constexpr int kDropDownHeight = 120;

}  // namespace

PresetComboBox::PresetComboBox(QWidget* parent) : QComboBox(parent) {
  setFixedWidth(kWidth);
  setMaxVisibleItems(std::max(1, kDropDownHeight / fontMetrics().height() - 1));
  setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
}

int PresetComboBox::Insert(int index, const std::string& text) {
  const QSignalBlocker block(this);
  const int selected = currentIndex();
  if (index < 0 || index > count()) index = count();
  insertItem(index, QString::fromStdString(text));
  if (selected < 0) setCurrentIndex(-1);
  return index;
}

void PresetComboBox::Delete(int index) {
  if (index < 0 || index >= count()) return;
  const QSignalBlocker block(this);
  const bool wasSelected = index == currentIndex();
  removeItem(index);
  if (wasSelected) setCurrentIndex(-1);
}

void PresetComboBox::Select(int index) {
  const QSignalBlocker block(this);
  setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

}  // namespace services
