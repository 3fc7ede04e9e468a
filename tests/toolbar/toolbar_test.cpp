#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMainWindow>
#include <map>
#include <tuple>

#include "services/command_ids.h"
#include "services/toolbar/customize_dialog.h"
#include "services/toolbar/main_toolbar.h"
#include "services/toolbar/preset_combo_box.h"
#include "services/toolbar/toolbar_ex.h"
#include "tests/support/memory_preset_list.h"
#include "tests/support/registry_sandbox.h"

namespace {

using namespace services;
using Commands = std::vector<int>;

constexpr int kOpen = kCommandOpen, kSave = kCommandSave, kSel = kCommandSelection, kList = kCommandPresetList,
              kConfig = kCommandConfig, kAbout = kCommandAbout, kBypass = kCommandBypass, kSep = kSeparatorCommand;
const Commands kInitial = {kOpen, kSave, kSep, kSel, kList, kSep, kConfig, kSep, kAbout};

// The main window as far as the toolbar sees it: its actions, the preset list and the toolbar.
struct Frame {
  Frame() {
    for (int command : {kOpen, kSave, kSel, kConfig, 32774, 32772, kAbout, kBypass})
      actions[command] = new QAction(&window);
    presets = new PresetComboBox;
    toolbar = CreateMainToolbar(window,
                                {actions[kOpen], actions[kSave], actions[kSel], actions[kConfig], actions[32774],
                                 actions[32772], actions[kAbout], actions[kBypass]},
                                presets);
    window.show();
  }
  // What the toolbar really holds, read back from its widgets' actions.
  Commands Shown() const {
    Commands shown;
    for (QAction* action : toolbar->actions()) {
      int command = action->isSeparator() ? kSep : kList;
      for (const auto& [id, known] : actions)
        if (known == action) command = id;
      shown.push_back(command);
    }
    return shown;
  }
  // The toolbar lays out (and shows) its widgets when the event loop runs.
  bool PresetsShown() const {
    QApplication::processEvents();
    return presets->isVisible();
  }

  QMainWindow window;
  std::map<int, QAction*> actions;
  PresetComboBox* presets;
  CToolBarEx* toolbar;
};

// Each test has its own registry, where the layout is stored.
class ToolbarTest : public testing_support::RegistrySandbox {};

int RowOf(QListWidget* list, int command) {
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->data(Qt::UserRole).toInt() == command) return row;
  return -1;
}

TEST_F(ToolbarTest, DialogOperationsChangeTheToolbarItself) {
  Frame frame;
  CCustomizeDialog dialog(*frame.toolbar);
  struct Step {
    const char* what;
    int availableCommand, currentRow, move;  // move: 0 Add, 9 Remove, else the step of Move
    Commands expected;
  };
  const Step steps[] = {
      {"remove Selection", -1, 3, 9, {kOpen, kSave, kSep, kList, kSep, kConfig, kSep, kAbout}},
      {"add it after Open", kSel, 0, 0, {kOpen, kSel, kSave, kSep, kList, kSep, kConfig, kSep, kAbout}},
      {"About up", -1, 8, -1, {kOpen, kSel, kSave, kSep, kList, kSep, kConfig, kAbout, kSep}},
      {"first cannot go up", -1, 0, -1, {kOpen, kSel, kSave, kSep, kList, kSep, kConfig, kAbout, kSep}},
      {"last cannot go down", -1, 8, 1, {kOpen, kSel, kSave, kSep, kList, kSep, kConfig, kAbout, kSep}},
      {"a second separator after Open",
       kSep,
       0,
       0,
       {kOpen, kSep, kSel, kSave, kSep, kList, kSep, kConfig, kAbout, kSep}},
      {"remove the preset list", -1, 5, 9, {kOpen, kSep, kSel, kSave, kSep, kSep, kConfig, kAbout, kSep}},
      {"add Bypass, offered though not there at first",
       kBypass,
       1,
       0,
       {kOpen, kSep, kBypass, kSel, kSave, kSep, kSep, kConfig, kAbout, kSep}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.availableCommand >= 0) dialog.Available()->setCurrentRow(RowOf(dialog.Available(), step.availableCommand));
    dialog.Current()->setCurrentRow(step.currentRow);
    if (step.move == 0)
      dialog.Add();
    else if (step.move == 9)
      dialog.Remove();
    else
      dialog.Move(step.move);
    EXPECT_EQ(frame.Shown(), step.expected);
    EXPECT_EQ(dialog.Current()->count(), static_cast<int>(step.expected.size()));
  }
  // A removed control is offered again, and goes back with its widget.
  EXPECT_GE(RowOf(dialog.Available(), kList), 0);
  EXPECT_FALSE(frame.PresetsShown());
  dialog.Reset();
  EXPECT_EQ(frame.Shown(), kInitial);
  EXPECT_TRUE(frame.PresetsShown());
  EXPECT_EQ(frame.actions[kBypass]->iconText(), "Bypass");
  EXPECT_FALSE(frame.actions[kBypass]->icon().isNull());
}

TEST_F(ToolbarTest, CustomizedLayoutSurvivesARestart) {
  const Commands customized = {kAbout, kSep, kSep, kOpen, kConfig};
  {
    Frame frame;
    CCustomizeDialog dialog(*frame.toolbar);
    frame.toolbar->SetLayout(customized);
    dialog.TextOptions()->setCurrentIndex(0);
    dialog.IconOptions()->setCurrentIndex(1);
    dialog.accept();
  }
  Frame restarted;
  EXPECT_EQ(restarted.Shown(), customized);
  EXPECT_EQ(restarted.toolbar->TextOption(), 0);
  EXPECT_EQ(restarted.toolbar->iconSize(), QSize(24, 24));
  EXPECT_EQ(restarted.toolbar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
}

TEST_F(ToolbarTest, DamagedStoredLayoutKeepsTheResourceButtons) {
  const std::pair<std::string, Commands> cases[] = {
      {"nonsense", kInitial},
      {"0 3 57601", kInitial},  // no such text option
      {"0 1 57601 x", kInitial},
      {"0 1 57601 99999 57601 0 1046", {kOpen, kSep, kList}},  // unknown and repeated commands dropped
      {"1 2", {}},                                             // the user took every button off
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    SetValue(platform::HKEY_CURRENT_USER, "ToolBarEx1", text, testing_support::kProductKey + "\\Settings");
    Frame frame;
    EXPECT_EQ(frame.Shown(), expected);
  }
}

// The combo box answers the selection code as a drop-down list box does; the plain list is the model.
TEST(PresetComboBox, BehavesAsTheDropDownListTheSelectionCodeExpects) {
  PresetComboBox combo;
  testing_support::MemoryPresetList model;
  int chosen = 0;
  QObject::connect(&combo, &QComboBox::activated, [&chosen] { ++chosen; });
  // Add, Insert at an index, Delete or Select; the selection moves with its item, and deleting the
  // selected item leaves nothing selected.
  const std::tuple<char, int, const char*> steps[] = {
      {'a', 0, "Flat"}, {'a', 0, "Rock"}, {'s', 1, ""}, {'i', 0, "*Custom"}, {'i', -1, "Pop"}, {'i', 9, "Jazz"},
      {'d', 0, ""},     {'d', 1, ""},     {'s', 7, ""}, {'s', 2, ""},        {'d', 5, ""}};
  for (const auto& [op, index, text] : steps) {
    SCOPED_TRACE(testing::Message() << op << index);
    for (settings::PresetList* list : std::initializer_list<settings::PresetList*>{&combo, &model}) {
      if (op == 'a') list->Add(text);
      if (op == 'i') list->Insert(index, text);
      if (op == 'd') list->Delete(index);
      if (op == 's') list->Select(index);
    }
    ASSERT_EQ(combo.Count(), model.Count());
    for (int item = 0; item < model.Count(); ++item) EXPECT_EQ(combo.Text(item), model.Text(item));
    EXPECT_EQ(combo.Selected(), model.Selected());
  }
  EXPECT_EQ(chosen, 0);
}

}  // namespace
