#include "tests/support/scripted_driver.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace testing_support {

class ScriptedDevice : public engine::IDriverDevice {
 public:
  explicit ScriptedDevice(ScriptedDriver& driver) : driver_(driver) {}
  bool Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error) override {
    return driver_.Control(code, output, outputBytes, bytesReturned, error);
  }
  bool ReadOnDeviceThread(std::function<void()> reader) override {
    if (!driver_.readsOnItsThread) return false;
    std::lock_guard<std::mutex> lock(driver_.readerMutex_);
    driver_.reader_ = std::move(reader);
    return true;
  }

 private:
  ScriptedDriver& driver_;
};

std::unique_ptr<engine::IDriverDevice> ScriptedDriver::Open(const std::string& name) {
  if (!available || name != engine::kDriverDeviceName) return nullptr;
  return std::make_unique<ScriptedDevice>(*this);
}

void ScriptedDriver::Push(Kind kind, engine::StreamFormat format, std::vector<uint8_t> data,
                          std::function<bool(uint64_t)> until) {
  std::lock_guard<std::mutex> lock(mutex_);
  steps_.push_back(Step{kind, format, std::move(data), std::move(until)});
  UpdateEventLocked();
}

bool ScriptedDriver::Deliver() {
  std::lock_guard<std::mutex> lock(readerMutex_);
  if (!reader_) return false;
  reader_();
  return true;
}

void ScriptedDriver::SetDataGate(std::function<bool(uint64_t)> gate) {
  std::lock_guard<std::mutex> lock(mutex_);
  gate_ = std::move(gate);
}

void ScriptedDriver::Poke() {
  std::lock_guard<std::mutex> lock(mutex_);
  UpdateEventLocked();
}

size_t ScriptedDriver::Pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return steps_.size();
}

bool ScriptedDriver::FrontReadyLocked() {
  if (steps_.empty()) return false;
  const Step& step = steps_.front();
  if (step.kind == Kind::Data && gate_ && !gate_(delivered_)) return false;
  return step.kind != Kind::Barrier || step.until(delivered_);
}

// Like a real driver, the event stays set only while something can be read.
void ScriptedDriver::UpdateEventLocked() {
  if (event_) FrontReadyLocked() ? event_->Set() : event_->Reset();
}

bool ScriptedDriver::Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned,
                             uint32_t* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  *bytesReturned = 0;
  *error = 0;
  const auto fail = [error](uint32_t code) { return *error = code, false; };
  if (code == engine::kRequestRegisterEvent) {
    if (registerFails) return fail(2);
    event_ = platform::OpenNamedEvent(engine::kDriverEventName);
    UpdateEventLocked();
    return event_ != nullptr;
  }
  if (code == engine::kRequestReadFormat) {
    std::memcpy(output, &reportedFormat_, sizeof(engine::StreamFormat));
    *bytesReturned = sizeof(engine::StreamFormat);
    return true;
  }
  if (code != engine::kRequestReadBlock) return fail(1);
  if (!FrontReadyLocked()) {
    UpdateEventLocked();
    return true;  // nothing waiting
  }
  Step step = std::move(steps_.front());
  steps_.pop_front();
  switch (step.kind) {
    case Kind::Format:
      reportedFormat_ = step.format;
      *bytesReturned = engine::kReadFormatChanged;
      break;
    case Kind::Data:
      if (!step.data.empty()) std::memcpy(output, step.data.data(), std::min<size_t>(step.data.size(), outputBytes));
      *bytesReturned = static_cast<uint32_t>(step.data.size());
      ++delivered_;
      break;
    case Kind::Stop: *bytesReturned = engine::kReadStopped; break;
    case Kind::Barrier: break;
  }
  UpdateEventLocked();
  return true;
}

}  // namespace testing_support
