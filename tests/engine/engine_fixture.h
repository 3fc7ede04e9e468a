#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/dsp_main.h"
#include "tests/support/scripted_driver.h"
#include "tests/support/test_wave_device.h"

namespace engine_tests {

// Collects what the engine would show in message boxes.
class CapturingReporter : public engine::IEngineReporter {
 public:
  void ShowError(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex);
    shown.push_back(text);
  }
  std::vector<std::string> Shown() {
    std::lock_guard<std::mutex> lock(mutex);
    return shown;
  }
  std::mutex mutex;
  std::vector<std::string> shown;
};

// Interleaved 16-bit PCM from per-frame values.
inline std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

inline std::vector<int16_t> Samples16(const std::vector<uint8_t>& bytes, size_t offset = 0, size_t count = SIZE_MAX) {
  const size_t available = (bytes.size() - offset) / 2;
  std::vector<int16_t> samples(std::min(count, available));
  std::memcpy(samples.data(), bytes.data() + offset, samples.size() * 2);
  return samples;
}

// An engine on a scripted driver and the test device, stepped by hand: the capture side with
// CapturePass, the processing side with ProcessPendingBlock.
class SteppedEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    parameters = std::make_unique<engine::ProcessingParameters>();
    parameters->volume.gain[0] = 1.0;
    parameters->volume.gain[1] = 1.0;
    dsp = std::make_unique<engine::CDspMain>(driver, devices, reporter, *parameters);
    dsp->Output().SelectDevice(0);
    dsp->DriverLink().OpenDevice();
  }

  engine::CUserMode& link() { return dsp->DriverLink(); }
  engine::CWaveOutput& output() { return dsp->Output(); }

  // Runs capture passes until the driver's script is used up.
  void Capture() {
    for (int i = 0; i < 200 && driver.Pending() > 0; ++i) link().CapturePass();
  }
  void ProcessAll() {
    while (dsp->ProcessPendingBlock()) {
    }
  }
  void StartStereo16(uint32_t rate = 44100, uint32_t blockBytes = 1764) {
    driver.PushFormat(2, 16, rate, blockBytes);
    Capture();
    ASSERT_EQ(link().State(), engine::kCaptureFormatted);
  }

  testing_support::ScriptedDriver driver;
  testing_support::TestWaveOutSystem devices;
  CapturingReporter reporter;
  std::unique_ptr<engine::ProcessingParameters> parameters;
  std::unique_ptr<engine::CDspMain> dsp;
};

}  // namespace engine_tests
