#include <sys/stat.h>

#include "settings/preset_selection.h"
#include "tests/settings/settings_fixture.h"

namespace {

using platform::PromptAnswer;
using settings_test::Exists;
using settings_test::ReadFile;
using settings_test::WriteFile;

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

TEST_F(ImportFile, RejectsAPathWithoutAFolder) {
  EXPECT_EQ(selection->ImportFile(""), -EINVAL);
  EXPECT_EQ(selection->ImportFile("Rock.tvd"), -EINVAL);
  ASSERT_EQ(prompt.messages.size(), 2u);
  EXPECT_EQ(prompt.messages[0].text, "Invalid Arguments");
}

TEST_F(ImportFile, AFileAlreadyInTheFolderIsLeftAlone) {
  WriteFile(configFolder + "/Rock.tvd", "rock");
  EXPECT_EQ(selection->ImportFile(configFolder + "/Rock.tvd"), 0);
  EXPECT_EQ(selection->ImportFile(configFolder + "/../config/Rock.tvd"), 0) << "the same file by another path";
  EXPECT_EQ(ReadFile(configFolder + "/Rock.tvd"), "rock");
  EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(ImportFile, MovesANewFileIntoTheFolder) {
  WriteFile(root + "/downloads/New.tvd", "new preset");
  EXPECT_EQ(selection->ImportFile(root + "/downloads/New.tvd"), 1);
  EXPECT_EQ(ReadFile(configFolder + "/New.tvd"), "new preset");
  EXPECT_FALSE(Exists(root + "/downloads/New.tvd"));
}

TEST_F(ImportFile, AnExistingDestinationIsReplacedOnlyOnYes) {
  WriteFile(configFolder + "/Rock.tvd", "old");
  WriteFile(root + "/downloads/Rock.tvd", "new");
  for (PromptAnswer answer : {PromptAnswer::No, PromptAnswer::Cancel}) {
    prompt.Answer(answer);
    EXPECT_EQ(selection->ImportFile(root + "/downloads/Rock.tvd"), -1);
    EXPECT_EQ(ReadFile(configFolder + "/Rock.tvd"), "old");
    EXPECT_TRUE(Exists(root + "/downloads/Rock.tvd"));
  }
  EXPECT_EQ(prompt.messages.back().text,
            "The destination file already exists. Do you want overwrite the existing file ?");
  prompt.Answer(PromptAnswer::Yes);
  EXPECT_EQ(selection->ImportFile(root + "/downloads/Rock.tvd"), 1);
  EXPECT_EQ(ReadFile(configFolder + "/Rock.tvd"), "new");
  EXPECT_TRUE(prompt.AllAnswersUsed());
}

TEST_F(ImportFile, AFailedMoveIsReportedAndKeepsTheExistingFile) {
  WriteFile(configFolder + "/Rock.tvd", "old");
  prompt.Answer(PromptAnswer::Yes);
  EXPECT_EQ(selection->ImportFile(root + "/downloads/Rock.tvd"), -ENOENT);
  EXPECT_EQ(prompt.messages.back().text, "Error received when try to copy file.");
  EXPECT_EQ(ReadFile(configFolder + "/Rock.tvd"), "old");
}

TEST_F(ImportFile, MovesAcrossFileSystems) {
  struct stat shared {}, temporary {};
  if (::stat("/dev/shm", &shared) != 0 || ::stat(root.c_str(), &temporary) != 0 || shared.st_dev == temporary.st_dev)
    GTEST_SKIP() << "no second file system to move from";
  std::string source = "/dev/shm/" + std::filesystem::path(root).filename().string() + "-Far.tvd";
  WriteFile(source, "far away");
  EXPECT_EQ(selection->ImportFile(source), 1);
  EXPECT_EQ(ReadFile(configFolder + "/" + std::filesystem::path(source).filename().string()), "far away");
  EXPECT_FALSE(Exists(source));
}

}  // namespace
