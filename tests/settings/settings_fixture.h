#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/processing_parameters.h"
#include "settings/configuration_model.h"
#include "tests/support/registry_sandbox.h"
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

using testing_support::kProductKey;

// The registry sandbox with a configuration folder in it.
class SettingsFixture : public testing_support::RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    configFolder = root + "/config";
    std::filesystem::create_directories(configFolder);
  }
  std::string UserValue(const std::string& name) { return Value(platform::HKEY_CURRENT_USER, name); }
  void SetUserValue(const std::string& name, const std::string& text) {
    SetValue(platform::HKEY_CURRENT_USER, name, text);
  }

  std::string configFolder;
  engine::ProcessingParameters parameters;
  settings::ConfigurationModel model;
  testing_support::ScriptedPrompt prompt;
};

}  // namespace settings_test
