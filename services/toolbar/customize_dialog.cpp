#include "services/toolbar/customize_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "services/toolbar/toolbar_ex.h"
#include "services/toolbar/toolbar_icons.h"
#include "services/toolbar/toolbar_strings.h"
#include "widgets/dialog_units.h"
#include "widgets/ui_text.h"

namespace services {
namespace {

constexpr int kTextOptionCount = 3;
constexpr int kIconOptionCount = 2;
constexpr int kResetTextOption = 1;
constexpr int kResetIconOption = 0;

int CommandOf(const QListWidgetItem* item) { return item->data(Qt::UserRole).toInt(); }

QComboBox* OptionList(QWidget* parent, int firstString, int count, int selected) {
  auto* list = new QComboBox(parent);
  for (int i = 0; i < count; ++i) list->addItem(widgets::UiText(firstString + i));
  list->setCurrentIndex(selected);
  return list;
}

}  // namespace

CCustomizeDialog::CCustomizeDialog(CToolBarEx& toolbar, QWidget* parent)
    : QDialog(parent), toolbar_(toolbar), iconChoice_(toolbar.IconOption()) {
  setWindowTitle(widgets::UiText(kStringCustomizeTitle));
  setFont(widgets::TemplateFont());
  BuildControls();
  Refill(0, static_cast<int>(toolbar_.Layout().size()) - 1);
}

void CCustomizeDialog::BuildControls() {
  available_ = new QListWidget(this);
  current_ = new QListWidget(this);
  for (QListWidget* list : {available_, current_}) {
    list->setIconSize(QSize(16, 16));
    list->setMinimumSize(widgets::DialogRect(0, 0, 110, 120).size());
  }
  auto* availableLabel = new QLabel(widgets::UiText(kStringAvailableButtons), this);
  auto* currentLabel = new QLabel(widgets::UiText(kStringCurrentButtons), this);
  availableLabel->setBuddy(available_);
  currentLabel->setBuddy(current_);

  add_ = new QPushButton(widgets::UiText(kStringAddButton), this);
  remove_ = new QPushButton(widgets::UiText(kStringRemoveButton), this);
  auto* close = new QPushButton(widgets::UiText(kStringCloseButton), this);
  auto* reset = new QPushButton(widgets::UiText(kStringResetButton), this);
  moveUp_ = new QPushButton(widgets::UiText(kStringMoveUpButton), this);
  moveDown_ = new QPushButton(widgets::UiText(kStringMoveDownButton), this);
  close->setDefault(true);

  textOptions_ = OptionList(this, kStringShowTextLabels, kTextOptionCount, toolbar_.TextOption());
  iconOptions_ = OptionList(this, kStringIconsSmall, kIconOptionCount, toolbar_.IconOption());
  auto* textLabel = new QLabel(widgets::UiText(kStringTextOptionsLabel), this);
  auto* iconLabel = new QLabel(widgets::UiText(kStringIconOptionsLabel), this);
  textLabel->setBuddy(textOptions_);
  iconLabel->setBuddy(iconOptions_);

  auto* middle = new QVBoxLayout;
  middle->addStretch();
  middle->addWidget(add_);
  middle->addWidget(remove_);
  middle->addStretch();
  auto* side = new QVBoxLayout;
  for (QPushButton* button : {close, reset}) side->addWidget(button);
  side->addStretch();
  for (QPushButton* button : {moveUp_, moveDown_}) side->addWidget(button);

  auto* grid = new QGridLayout(this);
  grid->addWidget(availableLabel, 0, 0);
  grid->addWidget(currentLabel, 0, 2);
  grid->addWidget(available_, 1, 0);
  grid->addLayout(middle, 1, 1);
  grid->addWidget(current_, 1, 2);
  grid->addLayout(side, 1, 3);
  auto* options = new QGridLayout;
  options->addWidget(textLabel, 0, 0);
  options->addWidget(textOptions_, 0, 1);
  options->addWidget(iconLabel, 1, 0);
  options->addWidget(iconOptions_, 1, 1);
  options->setColumnStretch(2, 1);
  grid->addLayout(options, 2, 0, 1, 4);

  connect(add_, &QPushButton::clicked, this, &CCustomizeDialog::Add);
  connect(remove_, &QPushButton::clicked, this, &CCustomizeDialog::Remove);
  connect(moveUp_, &QPushButton::clicked, this, [this] { Move(-1); });
  connect(moveDown_, &QPushButton::clicked, this, [this] { Move(1); });
  connect(reset, &QPushButton::clicked, this, &CCustomizeDialog::Reset);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(available_, &QListWidget::itemDoubleClicked, this, &CCustomizeDialog::Add);
  connect(current_, &QListWidget::itemDoubleClicked, this, &CCustomizeDialog::Remove);
  connect(available_, &QListWidget::currentRowChanged, this, &CCustomizeDialog::UpdateButtons);
  connect(current_, &QListWidget::currentRowChanged, this, &CCustomizeDialog::UpdateButtons);
  connect(textOptions_, &QComboBox::currentIndexChanged, this, [this](int option) {
    if (option >= 0) toolbar_.SetTextOptions(option);
  });
  connect(iconOptions_, &QComboBox::currentIndexChanged, this, [this](int option) { iconChoice_ = option; });
}

void CCustomizeDialog::Add() {
  const QListWidgetItem* item = available_->currentItem();
  if (!item) return;
  std::vector<int> layout = toolbar_.Layout();
  const int row = current_->currentRow();
  const int at = row >= 0 ? row + 1 : static_cast<int>(layout.size());
  layout.insert(layout.begin() + at, CommandOf(item));
  const int availableRow = available_->currentRow();
  ReplaceLayout(layout, at);
  available_->setCurrentRow(std::min(availableRow, available_->count() - 1));
}

void CCustomizeDialog::Remove() {
  const int row = current_->currentRow();
  std::vector<int> layout = toolbar_.Layout();
  if (row < 0 || !toolbar_.CanRemove(layout[row])) return;
  layout.erase(layout.begin() + row);
  ReplaceLayout(layout, std::min(row, static_cast<int>(layout.size()) - 1));
}

void CCustomizeDialog::Move(int step) {
  const int row = current_->currentRow();
  std::vector<int> layout = toolbar_.Layout();
  const int to = row + step;
  if (row < 0 || to < 0 || to >= static_cast<int>(layout.size())) return;
  std::swap(layout[row], layout[to]);
  ReplaceLayout(layout, to);
}

void CCustomizeDialog::Reset() {
  {
    const QSignalBlocker blockText(textOptions_), blockIcon(iconOptions_);
    textOptions_->setCurrentIndex(kResetTextOption);
    iconOptions_->setCurrentIndex(kResetIconOption);
  }
  iconChoice_ = kResetIconOption;
  toolbar_.SetTextOptions(kResetTextOption);
  ReplaceLayout(toolbar_.DefaultLayout(), 0);
}

void CCustomizeDialog::done(int result) {
  if (iconChoice_ != toolbar_.IconOption()) toolbar_.SetIconOptions(iconChoice_);
  toolbar_.SaveLayout();
  QDialog::done(result);
}

void CCustomizeDialog::ReplaceLayout(const std::vector<int>& commands, int currentRow) {
  toolbar_.SetLayout(commands);
  Refill(available_->currentRow(), currentRow);
}

void CCustomizeDialog::Refill(int availableRow, int currentRow) {
  const QSignalBlocker blockAvailable(available_), blockCurrent(current_);
  available_->clear();
  current_->clear();
  auto addItem = [this](QListWidget* list, int command) {
    const ToolbarButton* button = toolbar_.Find(command);
    auto* item = new QListWidgetItem(button ? button->label : widgets::UiText(kStringSeparator), list);
    item->setData(Qt::UserRole, command);
    item->setIcon(ToolbarIcon(command, palette()));
  };
  const std::vector<int> layout = toolbar_.Layout();
  addItem(available_, kSeparatorCommand);
  for (const ToolbarButton& button : toolbar_.Buttons())
    if (button.command != kSeparatorCommand && std::find(layout.begin(), layout.end(), button.command) == layout.end())
      addItem(available_, button.command);
  for (int command : layout) addItem(current_, command);
  available_->setCurrentRow(std::clamp(availableRow, 0, available_->count() - 1));
  current_->setCurrentRow(std::min(currentRow, current_->count() - 1));
  UpdateButtons();
}

void CCustomizeDialog::UpdateButtons() {
  const int row = current_->currentRow();
  const std::vector<int> layout = toolbar_.Layout();
  add_->setEnabled(available_->currentRow() >= 0);
  remove_->setEnabled(row >= 0 && toolbar_.CanRemove(layout[row]));
  moveUp_->setEnabled(row > 0);
  moveDown_->setEnabled(row >= 0 && row + 1 < static_cast<int>(layout.size()));
}

}  // namespace services
