#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/driver_protocol.h"
#include "platform/event.h"

namespace testing_support {

// A driver that answers the protocol from a script of events queued by the test.
class ScriptedDriver : public engine::IDriverOpener {
 public:
  struct Step {
    enum class Kind { Format, Data, Stop, Barrier } kind;
    engine::StreamFormat format{};
    std::vector<uint8_t> data;
    std::function<bool(uint64_t)> until;  // Barrier: "nothing waiting" until this returns true
  };
  using Kind = Step::Kind;

  void PushFormat(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t blockBytes) {
    Push(Kind::Format, {channels, bits, rate, blockBytes});
  }
  void PushData(std::vector<uint8_t> bytes) { Push(Kind::Data, {}, std::move(bytes)); }
  void PushStop() { Push(Kind::Stop); }
  // Answers "nothing waiting" until until(blocks delivered so far) is true (called on the capture thread).
  void PushBarrier(std::function<bool(uint64_t)> until) { Push(Kind::Barrier, {}, {}, std::move(until)); }

  // Data steps are answered only while gate(blocks delivered so far) is true, pacing the driver like a
  // real clock; null = always. Call Poke() when the gate may have opened.
  void SetDataGate(std::function<bool(uint64_t)> gate);
  void Poke();
  size_t Pending();

  bool available = true;          // Open fails (no driver) when false
  bool registerFails = false;     // the event registration request fails
  bool readsOnItsThread = false;  // offers to have its data read on its own thread: Deliver's caller
  // The driver's own thread at work: calls the reader registered through the device, if any; false if none.
  bool Deliver();

  std::unique_ptr<engine::IDriverDevice> Open(const std::string& name) override;

 private:
  friend class ScriptedDevice;
  bool Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error);
  void Push(Kind kind, engine::StreamFormat format = {}, std::vector<uint8_t> data = {},
            std::function<bool(uint64_t)> until = {});
  bool FrontReadyLocked();
  void UpdateEventLocked();

  std::mutex mutex_;
  std::deque<Step> steps_;
  std::function<bool(uint64_t)> gate_;
  std::shared_ptr<platform::Event> event_;
  std::mutex readerMutex_;  // held while the reader runs, so unsetting it waits for a running call
  std::function<void()> reader_;
  engine::StreamFormat reportedFormat_{};
  uint64_t delivered_ = 0;
};

}  // namespace testing_support
