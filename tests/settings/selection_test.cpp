#include <memory>

#include "settings/config_file.h"
#include "settings/preset_selection.h"
#include "tests/settings/settings_fixture.h"
#include "tests/support/memory_preset_list.h"

namespace {

using platform::PromptAnswer;
using namespace settings_test;
using testing_support::MemoryPresetList;
using Items = std::vector<std::string>;

// A configuration recognisable by its left compressor centre.
std::string ConfigurationWithCenter(int center) {
  return std::string("compress_left_center = ").append(std::to_string(center)).append("\n");
}

class Selection : public settings_test::SettingsFixture {
 protected:
  void SetUp() override {
    SettingsFixture::SetUp();
    WritePreset("01_Flat.tvd", "lang_09_=Flat\nlang_22_=Plano\n", 50);
    WritePreset("Rock.tvd", "lang_09_ = Rock ballads\n", 51);
    WritePreset("my.rock.tvd", "", 52);
    WritePreset("Jazz.tvd", "lang_09_=\nlang_09_=Smooth Jazz\r\n", 53);
    WriteText(configFolder + "/notes.txt", "not a preset");
  }
  void WritePreset(const std::string& name, const std::string& displayLines, int center) {
    WriteText(configFolder + "/" + name, displayLines + ConfigurationWithCenter(center));
  }
  // A start of the program: a fresh selection and list, built from the registry and the folder.
  void Start(int language = 9) {
    list = std::make_unique<MemoryPresetList>();
    selection = std::make_unique<settings::PresetSelection>(model, parameters, &prompt);
    selection->configFolder = configFolder;
    selection->BuildPresetList(*list, language);
  }
  void Pick(int index) {  // as the user does in the list
    list->Select(index);
    selection->OnPresetSelected();
  }
  int Loaded() const { return model.compressorValues[0].center; }
  std::string SelectedText() const { return list->Text(list->Selected()); }
  bool FileHolds(const std::string& path, int center) {
    return ReadText(path).find(ConfigurationWithCenter(center)) != std::string::npos;
  }

  std::unique_ptr<MemoryPresetList> list;
  std::unique_ptr<settings::PresetSelection> selection;
};

TEST_F(Selection, ListShowsDisplayNamesInFileNameOrderAndStartsOnTheFirst) {
  Start(9);
  EXPECT_EQ(list->items, (Items{"Flat", "Smooth Jazz", "my", " Rock ballads"}));
  EXPECT_EQ(selection->selectionName, "01_Flat");
  EXPECT_EQ(Loaded(), 50);
  Start(22);
  EXPECT_EQ(list->items, (Items{"Plano", "Jazz", "my", "Rock"}));
}

// A script names a preset as the list shows it or by its file; the custom item is no preset.
TEST_F(Selection, PresetsAreFoundByTheirShownOrFileName) {
  Start();
  const std::pair<const char*, int> cases[] = {{"smooth jazz", 1}, {"Jazz", 1},    {"01_FLAT", 0}, {"Rock ballads", 3},
                                               {"MY", 2},          {"Custom", -1}, {"Blues", -1},  {"", -1}};
  for (const auto& [title, index] : cases) EXPECT_EQ(selection->FindPreset(title), index) << title;
  Pick(1);
  selection->MarkModified();
  EXPECT_EQ(selection->FindPreset("Smooth Jazz"), 1) << SelectedText();
  EXPECT_EQ(selection->FindPreset("Custom *"), -1);
}

// A device keeps the preset or user configuration bound to it, under any name a sound server gives a device;
// the kept "Custom.tvh" alone has no name to bind, and unsaved changes are asked about before a binding loads.
TEST_F(Selection, DevicesKeepTheirConfigurationAcrossStarts) {
  WriteText(configFolder + "/Live.tva", ConfigurationWithCenter(60));
  const std::string headphones = "Kopfhörer \"USB\" \\ Analog";
  Start();
  prompt.ChooseFile(configFolder + "/Live.tva");
  ASSERT_EQ(selection->OpenUserFile(), 0);
  EXPECT_TRUE(selection->BindToDevice("Speakers"));
  Pick(1);
  EXPECT_TRUE(selection->BindToDevice(headphones));
  selection->MarkModified();
  EXPECT_EQ(selection->BindingText(), "") << "a changed preset is kept unnamed, and bound to nothing";
  EXPECT_FALSE(selection->BindToDevice("HDMI"));
  ASSERT_EQ(selection->KeepPendingChanges(), 0);

  Start();  // the kept changes come back; each device's binding too
  prompt.Answer(PromptAnswer::No);
  EXPECT_TRUE(selection->ApplyDeviceBinding(headphones));
  EXPECT_EQ(prompt.messages.size(), 1u) << "asked about the unsaved changes";
  EXPECT_EQ(std::make_pair(SelectedText(), Loaded()), std::make_pair(std::string("Smooth Jazz"), 53));
  EXPECT_FALSE(selection->ApplyDeviceBinding(headphones)) << "already current";
  EXPECT_FALSE(selection->ApplyDeviceBinding("HDMI"));
  EXPECT_TRUE(selection->ApplyDeviceBinding("Speakers"));
  EXPECT_EQ(std::make_pair(SelectedText(), Loaded()), std::make_pair(std::string("Custom (Live)"), 60));
  EXPECT_EQ(UserValue("selcustom"), "Live");
}

// A changed preset is kept in Custom.tvh without asking and comes back at the next start, as does a file saved
// under a title.
TEST_F(Selection, UnsavedChangesAreKeptInCustomTvhAndRestoredOrAskedForOnceTheyHaveATitle) {
  SetUserValue("selection", "rock");  // matched without regard to case
  Start();
  EXPECT_EQ(Loaded(), 51);
  selection->MarkModified();
  EXPECT_EQ(list->items.back(), "Custom *");
  model.compressorValues[0].center = 70;
  selection->MarkModified();
  // Stored only together with the kept file, once the change settles: a kill in between (kill -9, a
  // crash) finds the preset, never a stored selection naming a Custom.tvh that is not there.
  EXPECT_NE(UserValue("pending"), "1");
  Start();
  EXPECT_TRUE(prompt.messages.empty()) << prompt.messages.front().text;
  EXPECT_EQ(Loaded(), 51);
  selection->MarkModified();
  model.compressorValues[0].center = 63;
  selection->SaveOnExit();
  EXPECT_TRUE(prompt.messages.empty()) << "kept without asking";
  EXPECT_TRUE(FileHolds(configFolder + "/Custom.tvh", 63));
  EXPECT_EQ(UserValue("selection"), "Custom");
  EXPECT_EQ(UserValue("pending"), "1");
  model.compressorValues[0].center = 0;
  Start();
  EXPECT_EQ(std::make_pair(SelectedText(), Loaded()), std::make_pair(std::string("Custom *"), 63));
  model.compressorValues[0].center = 64;
  prompt.ChooseFile(configFolder + "/Live.Set.tva");
  selection->SaveUserFile();
  EXPECT_EQ(SelectedText(), "Custom (Live.Set)");
  EXPECT_EQ(list->Count(), 5) << "the custom item was replaced, not added";
  EXPECT_EQ(UserValue("pending"), "0");
  EXPECT_TRUE(FileHolds(configFolder + "/Live.Set.tva", 64));

  model.compressorValues[0].center = 0;
  Start();
  EXPECT_EQ(Loaded(), 64);
  EXPECT_EQ(SelectedText(), "Custom (Live.Set)");

  // With a title, changes are still kept as they settle, and the exit asks whether to save them.
  selection->MarkModified();
  EXPECT_EQ(SelectedText(), "Custom (Live.Set) *");
  model.compressorValues[0].center = 77;
  EXPECT_EQ(selection->KeepPendingChanges(), 0);
  EXPECT_EQ(UserValue("pending"), "1") << "kept as the change settled";
  prompt.Answer(PromptAnswer::No);
  selection->SaveOnExit();
  EXPECT_EQ(prompt.messages.back().text, "Do you want to save changes ?");
  EXPECT_TRUE(FileHolds(configFolder + "/Live.Set.tva", 64));
  EXPECT_EQ(UserValue("pending"), "0") << "No discards the kept changes for the next start";
  prompt.Answer(PromptAnswer::Yes);
  prompt.ChooseFile(configFolder + "/Live.Set.tva");
  selection->SaveOnExit();
  EXPECT_EQ(prompt.dialogs.back().initialName, configFolder + "/Live.Set.tva");
  EXPECT_TRUE(FileHolds(configFolder + "/Live.Set.tva", 77));
  EXPECT_TRUE(prompt.AllAnswersUsed());
}

TEST_F(Selection, SwitchingPresetWhileModifiedDiscardsOnNoOrCancelAndSavesOnYes) {
  Start();
  selection->MarkModified();
  prompt.Answer(PromptAnswer::No);
  Pick(1);
  EXPECT_EQ(list->items, (Items{"Flat", "Smooth Jazz", "my", " Rock ballads"}));
  EXPECT_EQ(Loaded(), 53);
  EXPECT_EQ(UserValue("selection"), "Jazz");
  selection->MarkModified();
  prompt.Answer(PromptAnswer::Cancel);
  Pick(0);
  EXPECT_EQ(Loaded(), 50) << "Cancel does not cancel the switch";
  selection->MarkModified();
  model.compressorValues[0].center = 88;
  prompt.Answer(PromptAnswer::Yes);
  prompt.ChooseFile(root + "/Kept.tva");
  Pick(3);
  EXPECT_TRUE(FileHolds(root + "/Kept.tva", 88));
  EXPECT_EQ(Loaded(), 51);
  EXPECT_EQ(list->Count(), 4);
  EXPECT_TRUE(prompt.AllAnswersUsed());
  model.compressorValues[0].center = 1;
  selection->OnPresetSelected();
  EXPECT_EQ(Loaded(), 1) << "picking the current item does nothing";
}

TEST_F(Selection, NamesThatCannotBeFoundFallBackWithAMessage) {
  Start();
  Pick(2);  // "my.rock.tvd" is looked for as my.tvd
  EXPECT_EQ(prompt.messages.at(0).text, "Cannot Open a File");
  EXPECT_EQ(Loaded(), 50) << "the settings stay as they were";
  SetUserValue("selection", "CUSTOM");
  SetUserValue("selcustom", "Elsewhere");
  Start();
  EXPECT_EQ(prompt.messages.size(), 2u);
  EXPECT_EQ(selection->selectionName, "01_Flat");
  EXPECT_EQ(list->Count(), 4);
}

TEST_F(Selection, OpenUserFileCancelledMissingAndFoundAndAFailedSaveChangesNothing) {
  Start();
  prompt.CancelFileDialog();
  model.compressorValues[0].center = 5;
  EXPECT_EQ(selection->OpenUserFile(), -EINTR);
  prompt.ChooseFile(root + "/absent.tva");
  EXPECT_EQ(selection->OpenUserFile(), -ENOENT);
  EXPECT_EQ(prompt.messages.back().text, "Cannot Open a File");
  EXPECT_EQ(selection->selectionName, "01_Flat");
  EXPECT_EQ(Loaded(), 5);
  WriteText(root + "/Live.Set.tva", ConfigurationWithCenter(70));
  selection->MarkModified();
  prompt.Answer(PromptAnswer::No);
  prompt.ChooseFile(root + "/Live.Set.tva");
  EXPECT_EQ(selection->OpenUserFile(), 0);
  EXPECT_EQ(Loaded(), 70);
  EXPECT_EQ(SelectedText(), "Custom (Live.Set)");
  EXPECT_EQ(selection->pending, 0);
  Start();
  EXPECT_EQ(selection->selectionName, "01_Flat") << "the title is looked for in the folder, where it is not";

  selection->MarkModified();
  prompt.CancelFileDialog();
  selection->SaveUserFile();
  prompt.ChooseFile(root + "/no/such/folder/x.tva");
  selection->SaveUserFile();
  EXPECT_EQ(prompt.messages.back().text, "Cannot Open a File");
  EXPECT_EQ(SelectedText(), "Custom *");
  EXPECT_EQ(selection->pending, 1);
}

TEST_F(Selection, WithoutRegistryKeyOrPresetsTheProgramStillStarts) {
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, root + "/empty-user");
  Start();
  selection->MarkModified();
  EXPECT_FALSE(std::filesystem::exists(platform::RegistryFilePath(platform::HKEY_CURRENT_USER)));

  std::filesystem::remove_all(configFolder);
  std::filesystem::create_directories(configFolder);
  model.compressorValues[0].center = 42;
  model.leftCurve.SetPoints({{100, 5}, {200, 5}});
  parameters.SetEqualizerBandGain(2, 5.0, 0);  // what the left curve had sent
  Start();
  EXPECT_EQ(list->Count(), 0);
  EXPECT_TRUE(prompt.messages.empty());
  EXPECT_EQ(Loaded(), 42);
  EXPECT_EQ(model.leftCurve.PointCount(), 8u);
  EXPECT_DOUBLE_EQ(parameters.equalizer.Gain(engine::BandIndex(2, 0)), 0.0);
}

// A preset file opened from elsewhere is moved into the configuration folder; one of the same name is
// replaced only when the user says Yes.
TEST_F(Selection, ImportReplacesAPresetOnlyOnYesAndLeavesPathsInsideOrWithoutAFolderAlone) {
  Start();
  EXPECT_EQ(selection->ImportFile("Rock.tvd"), -EINVAL);
  EXPECT_EQ(prompt.messages.back().text, "Invalid Arguments");
  EXPECT_EQ(selection->ImportFile(configFolder + "/../config/Rock.tvd"), 0) << "the same file by another path";
  const std::string download = root + "/Rock.tvd";
  EXPECT_EQ(selection->ImportFile(download), -ENOENT) << "nothing to move, and nothing asked";
  EXPECT_EQ(prompt.messages.back().text, "Error received when try to copy file.");
  WriteText(download, ConfigurationWithCenter(60));
  for (PromptAnswer answer : {PromptAnswer::No, PromptAnswer::Cancel}) {
    prompt.Answer(answer);
    EXPECT_EQ(selection->ImportFile(download), -1);
    EXPECT_TRUE(FileHolds(configFolder + "/Rock.tvd", 51));
  }
  prompt.Answer(PromptAnswer::Yes);
  EXPECT_EQ(selection->ImportFile(download), 1);
  EXPECT_TRUE(FileHolds(configFolder + "/Rock.tvd", 60));
  EXPECT_FALSE(std::filesystem::exists(download));
  EXPECT_TRUE(prompt.AllAnswersUsed());
}

// Only what Open would read is taken in: another kind of file, binary data (standing for every refusal of Open's
// own, which the configuration file's test goes through; the import asks the same check) or a link is refused
// with the message, and nothing is moved or made.
TEST_F(Selection, ImportTakesOnlyAConfigurationFileThatOpenWouldRead) {
  Start();
  const std::string elsewhere = root + "/downloads";
  std::filesystem::create_directories(elsewhere);
  WriteText(elsewhere + "/Sound.tvd", std::string("RIFF\0\0\0\0WAVEfmt ", 16));
  WriteText(elsewhere + "/notes.txt", ConfigurationWithCenter(61));
  WriteText(root + "/Real.tvd", ConfigurationWithCenter(62));
  std::filesystem::create_symlink(root + "/Real.tvd", elsewhere + "/Link.tvd");
  const std::vector<std::filesystem::path> before(std::filesystem::directory_iterator(configFolder), {});
  for (const std::string name : {"Sound.tvd", "notes.txt", "Link.tvd"}) {
    EXPECT_LT(selection->ImportFile(elsewhere + "/" + name), 0) << name;
    EXPECT_EQ(prompt.messages.empty() ? "" : prompt.messages.back().text, "Error received when try to copy file.")
        << name;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(elsewhere + "/" + name))) << name;
  }
  EXPECT_EQ(std::vector<std::filesystem::path>(std::filesystem::directory_iterator(configFolder), {}).size(),
            before.size());
  EXPECT_EQ(selection->ImportFile(root + "/Real.tvd"), 1) << "the file the link named is a preset";
  EXPECT_TRUE(FileHolds(configFolder + "/Real.tvd", 62));
}

}  // namespace
