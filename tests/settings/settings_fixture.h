#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/processing_parameters.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/configuration_model.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stream_text.h"

namespace settings_test {

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
}


using testing_support::StreamContent;
using testing_support::StreamWith;

inline const std::string kProductKey = "Software\\Brevalto\\Tonvex";

// Both registry roots and a configuration folder in a fresh temporary folder; the product key exists
// under HKEY_CURRENT_USER, as after installation and first start.
class SettingsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tonvex-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    configFolder = root + "/config";
    std::filesystem::create_directories(configFolder);
    platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, root + "/user");
    platform::SetRegistryFolder(platform::HKEY_LOCAL_MACHINE, root + "/machine");
    platform::RegistryKey key;
    ASSERT_EQ(key.Create(platform::HKEY_CURRENT_USER, kProductKey), 0);
    platform::SetUiLanguage(platform::kLanguageEnglish);
  }
  void TearDown() override {
    platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, "");
    platform::SetRegistryFolder(platform::HKEY_LOCAL_MACHINE, "");
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }

  std::string UserValue(const std::string& name) {
    platform::RegistryKey key;
    std::string text;
    if (key.Open(platform::HKEY_CURRENT_USER, kProductKey, platform::KEY_READ) != 0) return "<no key>";
    if (key.QueryString(name, &text, 1024) != 0) return "<missing>";
    return text;
  }
  void SetUserValue(const std::string& name, const std::string& text) {
    platform::RegistryKey key;
    ASSERT_EQ(key.Open(platform::HKEY_CURRENT_USER, kProductKey, platform::KEY_WRITE), 0);
    ASSERT_EQ(key.SetString(name, text), 0);
  }

  std::string root;
  std::string configFolder;
  engine::ProcessingParameters parameters;
  settings::ConfigurationModel model;
  testing_support::ScriptedPrompt prompt;
};

}  // namespace settings_test
