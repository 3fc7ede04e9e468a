#include <memory>

#include "settings/config_file.h"
#include "settings/preset_selection.h"
#include "tests/settings/settings_fixture.h"
#include "tests/support/memory_preset_list.h"

namespace {

using platform::PromptAnswer;
using settings_test::Exists;
using settings_test::ReadFile;
using settings_test::WriteFile;
using testing_support::MemoryPresetList;

// A configuration recognisable by its left compressor centre.
std::string ConfigurationWithCenter(int center) {
  return "compress_left_center = " + std::to_string(center) + "\n";
}

class Selection : public settings_test::SettingsFixture {
 protected:
  void SetUp() override {
    SettingsFixture::SetUp();
    WritePreset("01_Flat.tvd", "lang_09_=Flat\nlang_22_=Plano\n", 50);
    WritePreset("Rock.tvd", "lang_09_ = Rock ballads\n", 51);
    WritePreset("my.rock.tvd", "", 52);
    WritePreset("Jazz.tvd", "lang_09_=\nlang_09_=Smooth Jazz\r\n", 53);
    WriteFile(configFolder + "/notes.txt", "not a preset");
  }
  void WritePreset(const std::string& name, const std::string& displayLines, int center) {
    WriteFile(configFolder + "/" + name, displayLines + ConfigurationWithCenter(center));
  }
  // A start of the program: a fresh selection and list, built from the registry and the folder.
  void Start(int language = 9) {
    list = std::make_unique<MemoryPresetList>();
    selection = std::make_unique<settings::PresetSelection>(model, parameters, &prompt);
    selection->configFolder = configFolder;
    selection->BuildPresetList(*list, language);
  }
  int Loaded() const { return model.compressorValues[0].center; }
  std::string SelectedText() const { return list->Text(list->Selected()); }

  std::unique_ptr<MemoryPresetList> list;
  std::unique_ptr<settings::PresetSelection> selection;
};

TEST_F(Selection, ListShowsDisplayNamesInFileNameOrder) {
  Start(9);
  EXPECT_EQ(list->items, (std::vector<std::string>{"Flat", "Smooth Jazz", "my", " Rock ballads"}));
  ASSERT_EQ(selection->presetCount, 4);
  EXPECT_EQ(selection->presetTable[2].file, "my");
  EXPECT_EQ(selection->presetTable[3].file, "Rock");
  Start(22);
  EXPECT_EQ(list->items, (std::vector<std::string>{"Plano", "Jazz", "my", "Rock"}));
}

TEST_F(Selection, FirstStartChoosesTheFirstPreset) {
  Start();
  EXPECT_EQ(list->Selected(), 0);
  EXPECT_EQ(selection->selectedIndex, 0);
  EXPECT_EQ(selection->selectionName, "01_Flat");
  EXPECT_EQ(Loaded(), 50);
  EXPECT_EQ(selection->pending, 0);
  EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(Selection, PresetModifiedSavedAndRestoredAtTheNextStart) {
  SetUserValue("selection", "rock");  // matched without regard to case
  Start();
  EXPECT_EQ(SelectedText(), " Rock ballads");
  EXPECT_EQ(Loaded(), 51);

  selection->MarkModified();
  EXPECT_EQ(selection->pending, 1);
  EXPECT_EQ(selection->selectionName, "Custom");
  EXPECT_EQ(list->items.back(), "Custom *");
  EXPECT_EQ(SelectedText(), "Custom *");
  EXPECT_EQ(UserValue("selection"), "Custom");
  EXPECT_EQ(UserValue("pending"), "1");
  // A second change writes nothing more.
  SetUserValue("selection", "untouched");
  selection->MarkModified();
  EXPECT_EQ(UserValue("selection"), "untouched");
  EXPECT_EQ(SelectedText(), "Custom *");
  SetUserValue("selection", "Custom");

  model.compressorValues[0].center = 64;
  prompt.ChooseFile(configFolder + "/Live.Set.tva");
  selection->SaveUserFile();
  ASSERT_EQ(prompt.dialogs.size(), 1u);
  EXPECT_FALSE(prompt.dialogs[0].open);
  EXPECT_EQ(prompt.dialogs[0].initialName, configFolder + "/*.tva");
  EXPECT_EQ(prompt.dialogs[0].filter, "Tonvex Files (*.tva)|*.tva|Tonvex v0.0 Files (*.tvu)|*.tvu||");
  EXPECT_EQ(prompt.dialogs[0].defaultExtension, "tva");
  EXPECT_EQ(prompt.dialogs[0].flags, platform::kHideReadOnly | platform::kOverwritePrompt | platform::kPathMustExist |
                                         platform::kFileMustExist);
  EXPECT_EQ(selection->customTitle, "Live.Set");
  EXPECT_EQ(selection->pending, 0);
  EXPECT_EQ(SelectedText(), "Custom (Live.Set)");
  EXPECT_EQ(list->Count(), 5) << "the custom item was replaced, not added";
  EXPECT_EQ(UserValue("selcustom"), "Live.Set");
  EXPECT_EQ(UserValue("pending"), "0");
  EXPECT_NE(ReadFile(configFolder + "/Live.Set.tva").find("compress_left_center = 64\n"), std::string::npos);

  model.compressorValues[0].center = 0;
  Start();
  EXPECT_EQ(Loaded(), 64);
  EXPECT_EQ(SelectedText(), "Custom (Live.Set)");
  EXPECT_EQ(list->Selected(), list->Count() - 1);
  EXPECT_EQ(selection->selectionName, "Custom");
  EXPECT_EQ(selection->customTitle, "Live.Set");
}

TEST_F(Selection, UnsavedChangesAreKeptInCustomTvhAndReloaded) {
  Start();
  selection->MarkModified();
  model.compressorValues[0].center = 66;
  selection->SaveOnExit();
  EXPECT_TRUE(prompt.messages.empty()) << "kept without asking";
  EXPECT_EQ(selection->pending, 1);
  EXPECT_EQ(UserValue("pending"), "1");
  EXPECT_NE(ReadFile(configFolder + "/Custom.tvh").find("compress_left_center = 66\n"), std::string::npos);

  model.compressorValues[0].center = 0;
  Start();
  EXPECT_EQ(Loaded(), 66);
  EXPECT_EQ(SelectedText(), "Custom *");
  EXPECT_EQ(selection->pending, 1);
}

TEST_F(Selection, ExitWithATitledModifiedConfigurationAsks) {
  Start();
  prompt.ChooseFile(configFolder + "/Mine.tva");
  selection->SaveUserFile();
  selection->MarkModified();
  EXPECT_EQ(SelectedText(), "Custom (Mine) *");
  EXPECT_EQ(UserValue("pending"), "0") << "a user file's change is not recorded as pending";
  prompt.Answer(PromptAnswer::No);
  selection->SaveOnExit();
  EXPECT_EQ(prompt.messages.back().text, "Do you want to save changes ?");
  EXPECT_EQ(prompt.messages.back().buttons, platform::PromptButtons::YesNoCancel);
  EXPECT_FALSE(Exists(configFolder + "/Custom.tvh"));
  model.compressorValues[0].center = 77;
  prompt.Answer(PromptAnswer::Yes);
  prompt.ChooseFile(configFolder + "/Mine.tva");
  selection->SaveOnExit();
  EXPECT_EQ(prompt.dialogs.back().initialName, configFolder + "/Mine.tva");
  EXPECT_NE(ReadFile(configFolder + "/Mine.tva").find("compress_left_center = 77\n"), std::string::npos);
  EXPECT_TRUE(prompt.AllAnswersUsed());
}

TEST_F(Selection, SwitchingPresetWhileModifiedDiscardsOnNoOrCancelAndSavesOnYes) {
  Start();
  selection->MarkModified();
  prompt.Answer(PromptAnswer::No);
  list->UserPicks(1);
  selection->OnPresetSelected();
  EXPECT_EQ(list->items, (std::vector<std::string>{"Flat", "Smooth Jazz", "my", " Rock ballads"}));
  EXPECT_EQ(SelectedText(), "Smooth Jazz");
  EXPECT_EQ(selection->selectionName, "Jazz");
  EXPECT_EQ(selection->pending, 0);
  EXPECT_EQ(Loaded(), 53);
  EXPECT_EQ(UserValue("selection"), "Jazz");
  EXPECT_EQ(UserValue("pending"), "0");
  EXPECT_EQ(UserValue("selcustom"), "<missing>");

  selection->MarkModified();
  prompt.Answer(PromptAnswer::Cancel);
  list->UserPicks(0);
  selection->OnPresetSelected();
  EXPECT_EQ(Loaded(), 50) << "Cancel does not cancel the switch";
  EXPECT_EQ(selection->pending, 0);

  selection->MarkModified();
  model.compressorValues[0].center = 88;
  prompt.Answer(PromptAnswer::Yes);
  prompt.ChooseFile(root + "/Kept.tva");
  list->UserPicks(3);
  selection->OnPresetSelected();
  EXPECT_NE(ReadFile(root + "/Kept.tva").find("compress_left_center = 88\n"), std::string::npos);
  EXPECT_EQ(Loaded(), 51);
  EXPECT_EQ(SelectedText(), " Rock ballads");
  EXPECT_EQ(list->Count(), 4);
  EXPECT_EQ(selection->customTitle, "");
  EXPECT_EQ(UserValue("selection"), "Rock");
  EXPECT_TRUE(prompt.AllAnswersUsed());

  // Picking the item that is already current does nothing.
  model.compressorValues[0].center = 1;
  selection->OnPresetSelected();
  EXPECT_EQ(Loaded(), 1);
}

TEST_F(Selection, APresetNameCutAtTheFirstDotCannotBeLoaded) {
  Start();
  list->UserPicks(2);
  selection->OnPresetSelected();
  EXPECT_EQ(selection->selectionName, "my");
  ASSERT_EQ(prompt.messages.size(), 1u);
  EXPECT_EQ(prompt.messages[0].text, "Cannot Open a File");
  EXPECT_EQ(Loaded(), 50) << "the settings stay as they were";
}

TEST_F(Selection, AUserFileMissingFromTheFolderFallsBackToThePresets) {
  SetUserValue("selection", "CUSTOM");
  SetUserValue("selcustom", "Elsewhere");
  Start();
  ASSERT_EQ(prompt.messages.size(), 1u);
  EXPECT_EQ(prompt.messages[0].text, "Cannot Open a File");
  EXPECT_EQ(selection->selectionName, "01_Flat");
  EXPECT_EQ(Loaded(), 50);
  EXPECT_EQ(list->Count(), 4);
}

TEST_F(Selection, SelcustomIsReadOnlyForACustomSelection) {
  SetUserValue("selection", "Rock");
  SetUserValue("selcustom", "Stale");
  SetUserValue("pending", "0");
  Start();
  EXPECT_EQ(selection->customTitle, "");
  EXPECT_EQ(Loaded(), 51);
}

TEST_F(Selection, OpenUserFileCases) {
  Start();
  prompt.CancelFileDialog();
  model.compressorValues[0].center = 5;
  EXPECT_EQ(selection->OpenUserFile(), -EINTR);
  EXPECT_EQ(Loaded(), 5);
  EXPECT_TRUE(prompt.dialogs.back().open);
  EXPECT_EQ(prompt.dialogs.back().filter, "Tonvex Files (*.tva)|*.tva|Tonvex Pro Files (*.tvx)|*.tvx||");
  EXPECT_EQ(prompt.dialogs.back().initialName, configFolder + "/*.tva");

  prompt.ChooseFile(root + "/absent.tva");
  EXPECT_EQ(selection->OpenUserFile(), -ENOENT);
  EXPECT_EQ(prompt.messages.back().text, "Cannot Open a File");
  EXPECT_EQ(selection->selectionName, "01_Flat");

  std::filesystem::create_directories(root + "/cfg");
  WriteFile(root + "/cfg/Live.Set.tva", ConfigurationWithCenter(70));
  selection->MarkModified();
  prompt.Answer(PromptAnswer::No);
  prompt.ChooseFile(root + "/cfg/Live.Set.tva");
  EXPECT_EQ(selection->OpenUserFile(), 0);
  EXPECT_EQ(Loaded(), 70);
  EXPECT_EQ(selection->customTitle, "Live.Set");
  EXPECT_EQ(selection->pending, 0);
  EXPECT_EQ(SelectedText(), "Custom (Live.Set)");
  EXPECT_EQ(UserValue("selcustom"), "Live.Set");
  EXPECT_TRUE(prompt.AllAnswersUsed());
  // The next start looks for the title in the configuration folder, where it is not.
  Start();
  EXPECT_EQ(selection->selectionName, "01_Flat");
}

TEST_F(Selection, ACancelledOrFailedSaveChangesNothing) {
  Start();
  selection->MarkModified();
  prompt.CancelFileDialog();
  selection->SaveUserFile();
  EXPECT_EQ(SelectedText(), "Custom *");
  EXPECT_EQ(selection->pending, 1);
  prompt.ChooseFile(root + "/no/such/folder/x.tva");
  selection->SaveUserFile();
  EXPECT_EQ(prompt.messages.back().text, "Cannot Open a File");
  EXPECT_EQ(SelectedText(), "Custom *");
  EXPECT_EQ(selection->customTitle, "");
  EXPECT_EQ(selection->pending, 1);
}

TEST_F(Selection, APresetWhoseNameBeginsWithCustomIsTakenForTheCustomItem) {
  WritePreset("00_Customized.tvd", "lang_09_=Customized\n", 49);
  Start();
  ASSERT_EQ(SelectedText(), "Customized");
  selection->MarkModified();
  EXPECT_EQ(list->Text(0), "Custom *") << "replaced in place instead of appended";
  EXPECT_EQ(list->Count(), 5);
  prompt.Answer(PromptAnswer::No);
  list->UserPicks(1);
  selection->OnPresetSelected();
  EXPECT_EQ(list->items, (std::vector<std::string>{"Flat", "Smooth Jazz", "my", " Rock ballads"}));
  EXPECT_EQ(selection->selectionName, "01_Flat");
}

TEST_F(Selection, MissingRegistryKeySkipsWritesAndStartsFromTheFirstPreset) {
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, root + "/empty-user");
  Start();
  EXPECT_EQ(Loaded(), 50);
  selection->MarkModified();
  EXPECT_FALSE(Exists(platform::RegistryFilePath(platform::HKEY_CURRENT_USER)));
  EXPECT_EQ(SelectedText(), "Custom *");
}

TEST_F(Selection, AnEmptyFolderLeavesFlatCurvesAndTheCompressorAsItWas) {
  std::filesystem::remove_all(configFolder);
  std::filesystem::create_directories(configFolder);
  model.compressorValues[0].center = 42;
  model.leftCurve.SetPoints({{100, 5}, {200, 5}});
  Start();
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(selection->selectedIndex, -1);
  EXPECT_TRUE(prompt.messages.empty());
  EXPECT_EQ(Loaded(), 42);
  EXPECT_EQ(model.leftCurve.PointCount(), 8u);
  EXPECT_DOUBLE_EQ(parameters.equalizer.bands[engine::BandIndex(2, 0)].gain, 0.0);
  EXPECT_EQ(parameters.equalizer.bands[engine::BandIndex(2, 0)].dirty, 1);
}

TEST_F(Selection, ListStopsAtOneHundredPresets) {
  for (int i = 0; i < 105; ++i) WritePreset(std::string("p").append(std::to_string(1000 + i)).append(".tvd"), "", i);
  Start();
  EXPECT_EQ(list->Count(), 100);
  EXPECT_EQ(selection->presetCount, 100);
}

}  // namespace
