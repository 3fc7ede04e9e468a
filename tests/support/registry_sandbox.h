#pragma once
#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "platform/string_table.h"
#include "tests/support/files.h"

namespace testing_support {

inline const std::string kProductKey = "Software\\Brevalto\\Tonvex";

// Both registry roots in a fresh temporary folder and English texts; the product key exists under
// HKEY_CURRENT_USER, as after installation and first start.
class RegistrySandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root.empty());
    platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, root + "/user");
    platform::SetRegistryFolder(platform::HKEY_LOCAL_MACHINE, root + "/machine");
    ASSERT_EQ(platform::RegistryKey().Create(platform::HKEY_CURRENT_USER, kProductKey), 0);
    platform::SetUiLanguage(platform::kLanguageEnglish);
  }
  void TearDown() override {
    platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, "");
    platform::SetRegistryFolder(platform::HKEY_LOCAL_MACHINE, "");
  }

  // A value's text, "<no key>" (Open never creates one) or "<missing>".
  static std::string Value(platform::RegistryRoot which, const std::string& name,
                           const std::string& path = kProductKey) {
    platform::RegistryKey key;
    std::string text;
    if (key.Open(which, path, platform::KEY_READ) != 0) return "<no key>";
    if (key.QueryString(name, &text, 1024) != 0) return "<missing>";
    return text;
  }
  static void SetValue(platform::RegistryRoot which, const std::string& name, const std::string& text,
                       const std::string& path = kProductKey) {
    platform::RegistryKey key;
    ASSERT_EQ(key.Create(which, path), 0);
    ASSERT_EQ(key.SetString(name, text), 0);
  }

  ScratchDir scratch;
  const std::string root = scratch.path;
};

}  // namespace testing_support
