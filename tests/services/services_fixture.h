#pragma once
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/registry.h"
#include "platform/string_table.h"

// Both registry roots and the user's configuration home in a fresh temporary folder; the product key
// exists under both roots, with "version" "1.0" on the machine, as after installation and first start.
class ServicesFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tonvex-services-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, root + "/user");
    platform::SetRegistryFolder(platform::HKEY_LOCAL_MACHINE, root + "/machine");
    platform::RegistryKey user, machine;
    ASSERT_EQ(user.Create(platform::HKEY_CURRENT_USER, kProductKey), 0);
    ASSERT_EQ(machine.Create(platform::HKEY_LOCAL_MACHINE, kProductKey), 0);
    ASSERT_EQ(machine.SetString("version", "1.0"), 0);
    platform::SetUiLanguage(platform::kLanguageEnglish);
  }
  void TearDown() override {
    platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, "");
    platform::SetRegistryFolder(platform::HKEY_LOCAL_MACHINE, "");
    ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }

  static std::string Value(platform::RegistryRoot which, const std::string& name) {
    platform::RegistryKey key;
    std::string text;
    if (key.Open(which, kProductKey, platform::KEY_READ) != 0) return "<no key>";
    if (key.QueryString(name, &text, 1024) != 0) return "<missing>";
    return text;
  }
  static void SetValue(platform::RegistryRoot which, const std::string& name, const std::string& text) {
    platform::RegistryKey key;
    ASSERT_EQ(key.Open(which, kProductKey, platform::KEY_WRITE), 0);
    ASSERT_EQ(key.SetString(name, text), 0);
  }

  // Runs the event loop until `done` or `limitMs`; returns whether `done` came. `longestStallMs` is the
  // longest time the loop went without running a 5 ms timer: a window that waits on the network in its
  // own thread would stall for the whole request.
  bool RunUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer clock, sinceTick;
    clock.start();
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longestStallMs = std::max(longestStallMs, sinceTick.restart());
    });
    ticker.start(5);
    while (!done() && clock.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
  }

  inline static const std::string kProductKey = "Software\\Brevalto\\Tonvex";
  std::string root;
  qint64 longestStallMs = 0;
};
