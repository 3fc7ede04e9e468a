#pragma once
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>

#include "tests/support/registry_sandbox.h"

using testing_support::kProductKey;

// The registry sandbox with the user's configuration home in it and the product key under both roots,
// with "version" "1.0" on the machine.
class ServicesFixture : public testing_support::RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    SetValue(platform::HKEY_LOCAL_MACHINE, "version", "1.0");
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    RegistrySandbox::TearDown();
  }

  // Runs the event loop until `done` or `limitMs`; returns whether `done` came. `longestStallMs` is the
  // longest time the loop went without running a 5 ms timer: a window that waits on the network in its
  // own thread would stall for the whole request.
  bool RunUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer clock, sinceTick;
    clock.start();
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestStallMs = std::max(longestStallMs, sinceTick.restart()); });
    ticker.start(5);
    while (!done() && clock.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
  }

  qint64 longestStallMs = 0;
};
