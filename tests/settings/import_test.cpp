
#include "settings/preset_selection.h"
#include "tests/settings/settings_fixture.h"

namespace {

using platform::PromptAnswer;
using settings_test::ReadText;
using settings_test::WriteText;

class ImportFile : public settings_test::SettingsFixture {
 protected:
  void SetUp() override {
    SettingsFixture::SetUp();
    selection = std::make_unique<settings::PresetSelection>(model, parameters, &prompt);
    selection->configFolder = configFolder;
    std::filesystem::create_directories(root + "/downloads");
  }
  std::unique_ptr<settings::PresetSelection> selection;
};

TEST_F(ImportFile, PathsWithoutAFolderOrAlreadyInsideAreLeftAlone) {
  EXPECT_EQ(selection->ImportFile("Rock.tvd"), -EINVAL);
  EXPECT_EQ(prompt.messages.at(0).text, "Invalid Arguments");
  WriteText(configFolder + "/Rock.tvd", "rock");
  EXPECT_EQ(selection->ImportFile(configFolder + "/../config/Rock.tvd"), 0) << "the same file by another path";
  EXPECT_EQ(ReadText(configFolder + "/Rock.tvd"), "rock");
}

TEST_F(ImportFile, AnExistingDestinationIsReplacedOnlyOnYes) {
  WriteText(configFolder + "/Rock.tvd", "old");
  prompt.Answer(PromptAnswer::Yes);
  EXPECT_EQ(selection->ImportFile(root + "/downloads/Rock.tvd"), -ENOENT) << "nothing to move";
  EXPECT_EQ(prompt.messages.back().text, "Error received when try to copy file.");
  WriteText(root + "/downloads/Rock.tvd", "new");
  for (PromptAnswer answer : {PromptAnswer::No, PromptAnswer::Cancel}) {
    prompt.Answer(answer);
    EXPECT_EQ(selection->ImportFile(root + "/downloads/Rock.tvd"), -1);
    EXPECT_EQ(ReadText(configFolder + "/Rock.tvd"), "old");
  }
  prompt.Answer(PromptAnswer::Yes);
  EXPECT_EQ(selection->ImportFile(root + "/downloads/Rock.tvd"), 1);
  EXPECT_EQ(ReadText(configFolder + "/Rock.tvd"), "new");
  EXPECT_FALSE(std::filesystem::exists(root + "/downloads/Rock.tvd"));
  EXPECT_TRUE(prompt.AllAnswersUsed());
}

}  // namespace
