#pragma once
#include <QDialog>

class QComboBox;
class QListWidget;
class QPushButton;

namespace services {

class CToolBarEx;

// The toolbar's customization dialog: the buttons that can be added (a separator always can), the
// buttons on the toolbar, and the text and icon options. Changes to the buttons and the text option
// show on the toolbar at once; the icon option is applied when the dialog closes, and then the
// layout is saved.
class CCustomizeDialog : public QDialog {
 public:
  CCustomizeDialog(CToolBarEx& toolbar, QWidget* parent = nullptr);

  // Each acts on the selected items, as the dialog's buttons do.
  void Add();     // the selected available button goes after the selected current one (or last)
  void Remove();  // a button hidden on the toolbar cannot be removed
  void Move(int step);
  void Reset();  // the initial buttons, labels on the right, small icons

  QListWidget* Available() const { return available_; }
  QListWidget* Current() const { return current_; }
  QComboBox* TextOptions() const { return textOptions_; }
  QComboBox* IconOptions() const { return iconOptions_; }
  QPushButton* RemoveButton() const { return remove_; }

  void done(int result) override;

 private:
  void BuildControls();
  void Refill(int availableRow, int currentRow);
  void UpdateButtons();
  void ReplaceLayout(const std::vector<int>& commands, int currentRow);

  CToolBarEx& toolbar_;
  int iconChoice_;
  QListWidget* available_ = nullptr;
  QListWidget* current_ = nullptr;
  QComboBox* textOptions_ = nullptr;
  QComboBox* iconOptions_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* moveUp_ = nullptr;
  QPushButton* moveDown_ = nullptr;
};

}  // namespace services
