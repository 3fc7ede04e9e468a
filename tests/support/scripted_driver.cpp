#include "tests/support/scripted_driver.h"

#include <cstring>

namespace testing_support {

using engine::StreamFormat;

class ScriptedDevice : public engine::IDriverDevice {
 public:
  explicit ScriptedDevice(ScriptedDriver& driver) : driver_(driver) {}
  bool Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error) override {
    return driver_.Control(code, output, outputBytes, bytesReturned, error);
  }

 private:
  ScriptedDriver& driver_;
};

std::unique_ptr<engine::IDriverDevice> ScriptedDriver::Open(const std::string& name) {
  if (!available || name != engine::kDriverDeviceName) return nullptr;
  return std::make_unique<ScriptedDevice>(*this);
}

void ScriptedDriver::Push(Step step) {
  std::lock_guard<std::mutex> lock(mutex_);
  steps_.push_back(std::move(step));
  UpdateEventLocked();
}

void ScriptedDriver::PushFormat(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t blockBytes) {
  Push({Step::Kind::Format, StreamFormat{channels, bits, rate, blockBytes}, {}, 0, 0, {}});
}

void ScriptedDriver::PushData(std::vector<uint8_t> bytes) {
  const auto size = static_cast<uint32_t>(bytes.size());
  Push({Step::Kind::Data, {}, std::move(bytes), 0, size, {}});
}

void ScriptedDriver::PushOversizedData(uint32_t declaredBytes) {
  Push({Step::Kind::Data, {}, {}, 0, declaredBytes, {}});
}

void ScriptedDriver::PushStop() { Push({Step::Kind::Stop, {}, {}, 0, 0, {}}); }

void ScriptedDriver::PushFailedRead() { Push({Step::Kind::FailRead, {}, {}, 0, 0, {}}); }

void ScriptedDriver::PushFormatError(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t blockBytes,
                                     uint32_t error) {
  Push({Step::Kind::FormatError, StreamFormat{channels, bits, rate, blockBytes}, {}, error, 0, {}});
}

void ScriptedDriver::PushBadFormatSize() { Push({Step::Kind::BadFormatSize, {}, {}, 0, 0, {}}); }

void ScriptedDriver::PushBarrier(std::function<bool(uint64_t)> until) {
  Push({Step::Kind::Barrier, {}, {}, 0, 0, std::move(until)});
}

void ScriptedDriver::SetDataGate(std::function<bool(uint64_t)> gate) {
  std::lock_guard<std::mutex> lock(mutex_);
  gate_ = std::move(gate);
}

void ScriptedDriver::Poke() {
  std::lock_guard<std::mutex> lock(mutex_);
  UpdateEventLocked();
}

bool ScriptedDriver::FrontReadyLocked() {
  if (steps_.empty()) return false;
  const Step& step = steps_.front();
  if (step.kind == Step::Kind::Data && gate_ && !gate_(delivered_)) return false;
  if (step.kind == Step::Kind::Barrier && !step.until(delivered_)) return false;
  return true;
}

size_t ScriptedDriver::Pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return steps_.size();
}

uint64_t ScriptedDriver::DataBlocksDelivered() {
  std::lock_guard<std::mutex> lock(mutex_);
  return delivered_;
}

uint64_t ScriptedDriver::ReadRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

void ScriptedDriver::UpdateEventLocked() {
  if (!event_) return;
  // Like a real driver, the event stays set only while something can be read.
  if (FrontReadyLocked())
    event_->Set();
  else
    event_->Reset();
}

bool ScriptedDriver::Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned,
                             uint32_t* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  *bytesReturned = 0;
  *error = 0;
  if (code == engine::kRequestRegisterEvent) {
    if (registerFails) {
      *error = 2;
      return false;
    }
    event_ = platform::OpenNamedEvent(engine::kDriverEventName);
    UpdateEventLocked();
    return event_ != nullptr;
  }
  if (code == engine::kRequestReadFormat) {
    if (formatError_ != 0) {
      *error = formatError_;
      formatError_ = 0;  // the retry succeeds
      return false;
    }
    if (badFormatSize_) {
      badFormatSize_ = false;
      *bytesReturned = 8;
      return true;
    }
    if (outputBytes < sizeof(StreamFormat)) {
      *error = 122;
      return false;
    }
    std::memcpy(output, &reportedFormat_, sizeof(StreamFormat));
    *bytesReturned = sizeof(StreamFormat);
    return true;
  }
  if (code != engine::kRequestReadBlock) {
    *error = 1;
    return false;
  }

  ++reads_;
  if (!FrontReadyLocked()) {
    UpdateEventLocked();
    return true;  // nothing waiting
  }
  Step& step = steps_.front();
  bool ok = true;
  switch (step.kind) {
    case Step::Kind::Format:
      reportedFormat_ = step.format;
      *bytesReturned = engine::kReadFormatChanged;
      break;
    case Step::Kind::FormatError:
      reportedFormat_ = step.format;
      formatError_ = step.error;
      *bytesReturned = engine::kReadFormatChanged;
      break;
    case Step::Kind::BadFormatSize:
      badFormatSize_ = true;
      *bytesReturned = engine::kReadFormatChanged;
      break;
    case Step::Kind::Data:
      if (!step.data.empty()) std::memcpy(output, step.data.data(), std::min<size_t>(step.data.size(), outputBytes));
      *bytesReturned = step.declaredBytes;
      ++delivered_;
      break;
    case Step::Kind::Stop:
      *bytesReturned = engine::kReadStopped;
      break;
    case Step::Kind::FailRead:
      *error = 31;
      ok = false;
      break;
    case Step::Kind::Barrier:
      break;
  }
  steps_.pop_front();
  UpdateEventLocked();
  return ok;
}

}  // namespace testing_support
