#include "platform/event.h"

#include <chrono>
#include <map>

namespace platform {

Event::Event(Mode mode, bool initiallySignalled) : mode_(mode), signalled_(initiallySignalled) {}

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  if (mode_ == Mode::AutoReset)
    changed_.notify_one();
  else
    changed_.notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

uint32_t Event::Wait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; }))
    return kWaitTimeout;
  if (mode_ == Mode::AutoReset) signalled_ = false;
  return kWaitSignalled;
}

namespace {
std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::string, std::weak_ptr<Event>>& Registry() {
  static std::map<std::string, std::weak_ptr<Event>> registry;
  return registry;
}
}  // namespace

std::shared_ptr<Event> CreateNamedEvent(const std::string& name, Event::Mode mode, bool initiallySignalled) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto& slot = Registry()[name];
  if (auto existing = slot.lock()) return existing;
  auto created = std::make_shared<Event>(mode, initiallySignalled);
  slot = created;
  return created;
}

std::shared_ptr<Event> OpenNamedEvent(const std::string& name) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto found = Registry().find(name);
  if (found == Registry().end()) return nullptr;
  auto existing = found->second.lock();
  if (!existing) Registry().erase(found);
  return existing;
}

}  // namespace platform
