#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "engine/dsp_main.h"
#include "tests/support/scripted_driver.h"
#include "tests/support/test_wave_device.h"

namespace engine_tests {

// Collects what the engine would show in message boxes.
class CapturingReporter : public engine::IEngineReporter {
 public:
  void ShowError(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.push_back(text);
  }
  std::vector<std::string> Shown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> shown_;
};

// Interleaved 16-bit PCM from per-frame values, and back.
inline std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}
inline std::vector<int16_t> Samples16(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}
// The played bytes from `offset` on, past the silent cushion that starts a stream of `blockBytes` buffers
// there; the cushion must be silent.
inline std::vector<uint8_t> PastStartCushion(const std::vector<uint8_t>& played, size_t blockBytes, size_t offset = 0,
                                             uint8_t silence = 0) {
  const size_t end = offset + engine::kStartCushionBuffers * blockBytes;
  EXPECT_GE(played.size(), end);
  if (played.size() < end) return {};
  for (size_t i = offset; i < end; ++i)
    if (played[i] != silence) {
      ADD_FAILURE() << "the start cushion is not silent at byte " << i;
      break;
    }
  std::vector<uint8_t> rest(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(offset));
  rest.insert(rest.end(), played.begin() + static_cast<std::ptrdiff_t>(end), played.end());
  return rest;
}

// An engine on a scripted driver and the test device at unity volume, stepped by hand: the capture side
// with CapturePass, the processing side with ProcessPendingBlock. `device` is selected (none when
// negative) and the driver opened.
struct EngineParts {
  explicit EngineParts(int device = 0, bool open = true) {
    parameters->volume.gain[0] = parameters->volume.gain[1] = 1.0;
    if (device >= 0) dsp.Output().SelectDevice(device);
    if (open) dsp.DriverLink().OpenDevice();
  }
  // Runs capture passes until the driver's script is used up.
  void Capture() {
    for (int i = 0; i < 200 && driver.Pending() > 0; ++i) dsp.DriverLink().CapturePass();
  }
  void ProcessAll() {
    while (dsp.ProcessPendingBlock()) {}
  }

  testing_support::ScriptedDriver driver;
  testing_support::TestWaveOutSystem devices;
  CapturingReporter reporter;
  std::unique_ptr<engine::ProcessingParameters> parameters = std::make_unique<engine::ProcessingParameters>();
  engine::CDspMain dsp{driver, devices, reporter, *parameters};
};

class SteppedEngine : public ::testing::Test, public EngineParts {
 protected:
  engine::CUserMode& link() { return dsp.DriverLink(); }
  engine::CWaveOutput& output() { return dsp.Output(); }
  engine::CCaptureRing& ring() { return dsp.Ring(); }
  // The capture state and the count of blocks waiting in the ring.
  std::tuple<int, int> StateAndReady() { return {link().State(), ring().ReadyCount()}; }
  void StartStereo16(uint32_t rate = 44100, uint32_t blockBytes = 1764) {
    driver.PushFormat(2, 16, rate, blockBytes);
    Capture();
    ASSERT_EQ(link().State(), engine::kCaptureFormatted);
  }
  // The count of blocks the capture side is to drop, as the output's regulation decided it.
  int Skip() { return ring().PendingDrops(); }
  void SetSkip(int count) {
    ring().DropInput(0);
    ring().DropInput(count);
  }
  // One regulation, its decision passed on to the capture side as the processing thread does.
  void Regulate(bool blockHoldsSound = true) { ring().DropInput(output().Regulate(blockHoldsSound).dropInput); }
};

}  // namespace engine_tests
