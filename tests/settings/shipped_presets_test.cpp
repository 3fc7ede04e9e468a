#include <algorithm>

#include "settings/configuration_folder.h"
#include "tests/settings/settings_fixture.h"
#include "tests/support/configuration_text.h"

namespace {

using settings_test::ReadText;

std::vector<std::string> ShippedPresetFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(TONVEX_PRESET_FOLDER))
    if (settings::IsPresetFileName(entry.path().filename().string())) names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ShippedPresets : public settings_test::SettingsFixture {};

// Every preset is in the stored form (display names first), within what the panels offer.
TEST_F(ShippedPresets, EveryPresetIsStoredFormWithinThePanelsRanges) {
  const std::vector<std::string> presets = ShippedPresetFiles();
  ASSERT_GE(presets.size(), 10u);
  for (const std::string& path : presets) {
    const std::string text = ReadText(path);
    settings::ConfigurationModel preset;
    testing_support::LoadText(text, preset, parameters, prompt);
    const std::string stored = testing_support::StoreText(preset, prompt);
    EXPECT_EQ(text.rfind("lang_09_=", 0), 0u) << path;
    EXPECT_NE(text.find("\nlang_22_="), std::string::npos) << path;
    EXPECT_EQ(text.substr(text.find("\ncompress_left_center") + 1), stored) << path;
    for (const settings::CompressorValues& side : preset.compressorValues) {
      EXPECT_TRUE(side.threshold >= 0 && side.threshold <= 60 && side.center >= 50 && side.center <= 70) << path;
      EXPECT_TRUE(side.rate >= 1.0f && side.rate <= 30.0f) << path;
      EXPECT_TRUE(side.attack >= 0.0 && side.attack <= 0.1 && side.release >= 0.01 && side.release <= 1.0) << path;
    }
    for (const settings::CCurve* curve : {&preset.leftCurve, &preset.rightCurve})
      for (const settings::CurvePoint& point : curve->points)
        EXPECT_TRUE(point.gain >= -36 && point.gain <= 12) << path;
  }
  EXPECT_TRUE(prompt.messages.empty());
}

}  // namespace
