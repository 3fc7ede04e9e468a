// The one rule for the program's output device.
#include "audio/output_device_rule.h"

#include <gtest/gtest.h>

namespace {

using audio::ChooseOutputDevice;
using audio::OutputCandidate;

struct RuleCase {
  const char* what;
  std::vector<OutputCandidate> devices;
  std::string remembered, startDefault;
  int index;
  bool store;
};

const OutputCandidate kCard{"card", "Card"}, kVirtual{"tonvex_brevalto", "Tonvex (Brevalto)"}, kUsb{"usb", "USB"};

TEST(OutputDeviceRule, RememberedThenDefaultAtStartThenLastRealNeverTheVirtualDevice) {
  const RuleCase cases[] = {
      {"remembered wins wherever it is", {kCard, kVirtual, kUsb}, "Card", "usb", 0, false},
      {"remembered by description, not by server name", {kCard, kVirtual, kUsb}, "usb", "", 2, true},
      {"default at start when the remembered one is gone", {kCard, kVirtual, kUsb}, "Gone", "card", 0, true},
      {"a virtual default at start does not count", {kCard, kVirtual, kUsb}, "unknown", "tonvex_brevalto", 2, true},
      {"else the last real device", {kCard, kUsb, kVirtual}, "unknown", "", 1, true},
      {"the virtual device is never chosen, even remembered", {kVirtual, kCard}, "Tonvex (Brevalto)", "", 1, true},
      {"two of one name: the first", {kCard, kUsb, {"card2", "Card"}}, "Card", "", 0, false},
      {"only the virtual device", {kVirtual}, "Tonvex (Brevalto)", "tonvex_brevalto", -1, false},
  };
  for (const RuleCase& c : cases) {
    const audio::OutputChoice choice = ChooseOutputDevice(c.devices, c.remembered, c.startDefault);
    EXPECT_EQ(choice.index, c.index) << c.what;
    EXPECT_EQ(choice.store, c.store) << c.what;
  }
}

}  // namespace
