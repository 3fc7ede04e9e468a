#pragma once
#include <gtest/gtest.h>

#include <string>

#include "engine/processing_parameters.h"
#include "settings/configuration_model.h"
#include "tests/support/files.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/scripted_prompt.h"

namespace settings_test {

using testing_support::kProductKey;
using testing_support::ReadText;
using testing_support::WriteText;

// The registry sandbox with a configuration folder in it.
class SettingsFixture : public testing_support::RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    std::filesystem::create_directories(configFolder);
  }
  std::string UserValue(const std::string& name) { return Value(platform::HKEY_CURRENT_USER, name); }
  void SetUserValue(const std::string& name, const std::string& text) {
    SetValue(platform::HKEY_CURRENT_USER, name, text);
  }

  const std::string configFolder = root + "/config";
  engine::ProcessingParameters parameters;
  settings::ConfigurationModel model;
  testing_support::ScriptedPrompt prompt;
};

}  // namespace settings_test
