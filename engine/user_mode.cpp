#include "engine/user_mode.h"

#include "engine/exceptions.h"
#include "engine/wave_output.h"
#include "platform/debug_output.h"
#include "platform/string_table.h"
#include "platform/system_error.h"

namespace engine {
namespace {
constexpr int kNoDriverString = 61463;
constexpr uint32_t kPollMs = 10;
}  // namespace

CUserMode::CUserMode(IDriverOpener& opener, CWaveOutput& output) : opener_(opener), output_(output) {}

CUserMode::~CUserMode() {
  Stop();
  thread_.Join();
}

void CUserMode::Open() {
  OpenDevice();
  if (!thread_.Start([this] { return CaptureThread(); }))
    throw Exception("CUserMode: CreateThread failed" + platform::SystemErrorText(EAGAIN), "Error");
}

void CUserMode::OpenDevice() {
  {
    platform::Guard guard(ringLock_);
    for (InputSlot& slot : ring_) slot.ready = 0;
    writeIndex_ = readIndex_ = skipCounter_ = 0;
    blocksSkipped_ = 0;
  }
  state_ = kCaptureOpened;
  device_.reset();
  driverEvent_.reset();

  device_ = opener_.Open(kDriverDeviceName);
  if (!device_) throw Exception(platform::LoadString(kNoDriverString), "Error");

  driverEvent_ = platform::CreateNamedEvent(kDriverEventName, platform::Event::Mode::ManualReset, false);
  if (!driverEvent_) throw Exception("CUserMode: OpenEvent failed" + platform::SystemErrorText(ENOMEM), "Error");

  uint32_t answered = 0, error = 0;
  if (!device_->Control(kRequestRegisterEvent, nullptr, 0, &answered, &error))
    throw Exception("CUserMode: The driver failed to open the named event!\n", "Error");
}

void CUserMode::Stop() {
  stopFlag_ = 1;
  platform::WaitForThreadEnd(thread_);
}

uint32_t CUserMode::CaptureThread() {
  while (!stopFlag_) {
    const uint32_t waited = driverEvent_->Wait(kPollMs);
    if (waited != platform::kWaitSignalled && waited != platform::kWaitTimeout) continue;
    CapturePass();
  }
  driverEvent_.reset();
  device_.reset();
  return 1;
}

void CUserMode::CapturePass() {
  InputSlot* slot;
  {
    platform::Guard guard(ringLock_);
    slot = &ring_[writeIndex_];
    if (slot->ready) {
      // Ring full: the consumer has fallen behind, so refuse data until the stream restarts cleanly.
      state_ = kCaptureFault;
      return;
    }
  }

  uint32_t answer = 0, error = 0;
  if (!device_->Control(kRequestReadBlock, slot->data, kMaxBlockBytes, &answer, &error)) {
    state_ = kCaptureFault;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return;
  }

  switch (answer) {
    case kReadNothingWaiting:
      return;
    case kReadFormatChanged:
      OnFormatReport();
      return;
    case kReadStopped:
      if (state_ == kCaptureStreaming) output_.Close();
      state_ = kCaptureStopped;
      return;
    default:
      OnData(answer);
  }
}

bool CUserMode::FormatSupported() const {
  const bool knownWidth = format_.bitsPerSample == 8 || format_.bitsPerSample == 16 || format_.bitsPerSample == 32 ||
                          format_.bitsPerSample == 64;
  return knownWidth && format_.channels >= 1 && format_.channels <= 2 && format_.samplesPerSec > 0;
}

void CUserMode::OnFormatReport() {
  uint32_t answer = 0, error = 0;
  if (!device_->Control(kRequestReadFormat, &format_, sizeof format_, &answer, &error)) {
    if (error != kErrorNoAccess) state_ = kCaptureFault;
    return;
  }
  if (answer != sizeof format_) {
    state_ = kCaptureFault;
    return;
  }
  // The chain holds two channels of state, and a sample width we cannot convert would play as noise:
  // such a stream is refused (nothing is played) until the driver reports a format we can handle.
  if (!FormatSupported()) {
    platform::OutputDebugText("CUserMode: unsupported stream format (" + std::to_string(format_.channels) +
                              " channels, " + std::to_string(format_.bitsPerSample) + " bits)");
    try {
      output_.Close();
    } catch (const Exception& e) {
      platform::OutputDebugText(e.Text());
    }
    state_ = kCaptureFault;
    return;
  }

  output_.SetFormat(format_.bitsPerSample, format_.samplesPerSec, format_.channels);
  try {
    output_.Close();
    output_.Open(format_.blockBytes);
  } catch (const Exception& e) {
    platform::OutputDebugText(e.Text());
    state_ = kCaptureFault;
    return;
  }
  {
    platform::Guard guard(ringLock_);
    for (InputSlot& slot : ring_) slot.ready = 0;
    writeIndex_ = readIndex_ = 0;
  }
  state_ = kCaptureFormatted;
}

void CUserMode::OnData(uint32_t bytes) {
  const int32_t state = state_;
  if (state != kCaptureFormatted && state != kCaptureStreaming) {
    state_ = kCaptureFault;
    return;
  }
  if (bytes > kMaxBlockBytes) {
    state_ = kCaptureFault;
    return;
  }
  {
    platform::Guard guard(ringLock_);
    InputSlot& slot = ring_[writeIndex_];
    slot.length = bytes;
    if (skipCounter_ > 0) {
      // The output queue is too deep: dropping input is how it drains back to its target depth.
      --skipCounter_;
      ++blocksSkipped_;
      return;
    }
    slot.ready = 1;
    writeIndex_ = (writeIndex_ + 1) % kRingSlots;
  }
  state_ = kCaptureStreaming;
  output_.BlockReady().Set();
}

void CUserMode::ConsumeReadSlot() {
  InputSlot& slot = ring_[readIndex_];
  if (slot.ready == 1) {
    slot.ready = 0;
    readIndex_ = (readIndex_ + 1) % kRingSlots;
  }
}

int CUserMode::ReadyCount() {
  platform::Guard guard(ringLock_);
  int count = 0;
  for (const InputSlot& slot : ring_) count += slot.ready;
  return count;
}

}  // namespace engine
