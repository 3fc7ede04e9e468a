#include "engine/user_mode.h"

#include <algorithm>

#include "engine/exceptions.h"
#include "engine/sample_conversion.h"
#include "engine/wave_output.h"
#include "platform/debug_output.h"
#include "platform/string_table.h"
#include "platform/system_error.h"

namespace engine {
namespace {
constexpr int kNoDriverString = 61463;
// The driver event is set whenever data waits, so the capture thread sleeps on it; the timeout is only a
// safety net for a lost signal, and it is how long a Stop may wait for this thread at most.
constexpr uint32_t kSafetyWaitMs = 250;
}  // namespace

CUserMode::CUserMode(IDriverOpener& opener, CCaptureRing& ring, CWaveOutput& output)
    : opener_(opener), ring_(ring), output_(output) {}

CUserMode::~CUserMode() {
  Stop();
  thread_.Join();
}

void CUserMode::Open(std::function<void()> afterReading) {
  OpenDevice();
  wake_ = driverEvent_;
  // Read where the data arrives when the driver offers it: a thread switch less for every block.
  readOnDevice_ = device_->ReadOnDeviceThread([this, afterReading = std::move(afterReading)] {
    bool read = false;
    while (!stopFlag_ && CapturePass()) read = true;
    if (read && afterReading && !stopFlag_) afterReading();
  });
  if (readOnDevice_) return;
  if (!thread_.Start([this] { return CaptureThread(); }))
    throw Exception("CUserMode: CreateThread failed" + platform::SystemErrorText(EAGAIN), "Error");
}

void CUserMode::OpenDevice() {
  ring_.Reset();
  ringOverrun_ = false;
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
  if (readOnDevice_) {
    device_->ReadOnDeviceThread(nullptr);
    readOnDevice_ = false;
    ReleaseDevice();
    return;
  }
  if (wake_) wake_->Set();  // ends the capture thread's wait now
  platform::WaitForThreadEnd(thread_);
}

uint32_t CUserMode::CaptureThread() {
  while (!stopFlag_) {
    const uint32_t waited = driverEvent_->Wait(kSafetyWaitMs);
    if (waited != platform::kWaitSignalled && waited != platform::kWaitTimeout) continue;
    CapturePass();
  }
  ReleaseDevice();
  return 1;
}

void CUserMode::ReleaseDevice() {
  driverEvent_.reset();
  device_.reset();
}

bool CUserMode::CapturePass() {
  uint8_t* const slot = ring_.FreeSlot();
  const bool full = slot == nullptr;
  // A full ring means the processing thread has fallen behind (a stalled process, a loaded machine). The
  // driver is still read, so that its reports are followed and its data does not pile up there as delay,
  // but data blocks are refused until a slot is free again.
  uint8_t* destination = full ? refused_.data() : slot;

  uint32_t answer = 0, error = 0;
  if (!device_->Control(kRequestReadBlock, destination, kMaxBlockBytes, &answer, &error)) {
    ringOverrun_ = false;
    state_ = kCaptureFault;
    if (!readOnDevice_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return false;
  }

  switch (answer) {
    case kReadNothingWaiting: return false;
    case kReadFormatChanged: OnFormatReport(); return true;
    case kReadStopped:
      if (state_ == kCaptureStreaming || (state_ == kCaptureFault && ringOverrun_)) output_.Close();
      ringOverrun_ = false;
      state_ = kCaptureStopped;
      return true;
    default:
      if (full)
        RefuseBlock(answer);
      else
        OnData(answer);
      return true;
  }
}

void CUserMode::RefuseBlock(uint32_t bytes) {
  const int32_t state = state_;
  if (state == kCaptureFormatted || state == kCaptureStreaming) ringOverrun_ = true;
  state_ = kCaptureFault;
  const bool sound = pcm::HoldsSound(std::span(refused_).first(std::min(bytes, kMaxBlockBytes)), format_.bitsPerSample);
  ring_.CountRefused(sound);
}

bool CUserMode::FormatSupported() const {
  const bool knownWidth = format_.bitsPerSample == 8 || format_.bitsPerSample == 16 || format_.bitsPerSample == 32 ||
                          format_.bitsPerSample == 64;
  return knownWidth && format_.channels >= 1 && format_.channels <= 2 && format_.samplesPerSec > 0;
}

StreamFormat CUserMode::Format() {
  platform::Guard guard(ring_.Lock());
  return format_;
}

void CUserMode::OnFormatReport() {
  ringOverrun_ = false;
  uint32_t answer = 0, error = 0;
  StreamFormat reported{};
  if (!device_->Control(kRequestReadFormat, &reported, sizeof reported, &answer, &error)) {
    if (error != kErrorNoAccess) state_ = kCaptureFault;
    return;
  }
  if (answer != sizeof reported) {
    state_ = kCaptureFault;
    return;
  }
  {
    // Other threads read it for status lines; this thread is the only writer.
    platform::Guard guard(ring_.Lock());
    format_ = reported;
  }
  // Blocks of the old format must never be read in the new one: the ring is emptied before the format
  // changes and the output reopens (the processing thread reads a slot only under the ring lock).
  ring_.Empty();
  // The chain holds two channels of state, and a sample width we cannot convert would play as noise:
  // such a stream is refused (nothing is played) until the driver reports a format we can handle.
  if (!FormatSupported()) {
    platform::OutputDebugText("CUserMode: unsupported stream format (" + std::to_string(format_.channels) +
                              " channels, " + std::to_string(format_.bitsPerSample) + " bits)");
    try {
      output_.Close();
    } catch (const Exception& e) { platform::OutputDebugText(e.Text()); }
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
  state_ = kCaptureFormatted;
}

void CUserMode::OnData(uint32_t bytes) {
  const int32_t state = state_;
  const bool overrun = state == kCaptureFault && ringOverrun_;
  ringOverrun_ = false;
  if (!(state == kCaptureFormatted || state == kCaptureStreaming || overrun) || bytes > kMaxBlockBytes) {
    state_ = kCaptureFault;
    return;
  }
  // Room again after a full ring: the stream goes on, even if this block is one the output asks to skip.
  if (overrun) state_ = kCaptureStreaming;
  if (!ring_.Store(bytes, format_.bitsPerSample)) return;  // dropped on the output's request
  state_ = kCaptureStreaming;
  // Read on the driver's thread, the block is processed there next: no processing thread waits to be woken.
  if (!readOnDevice_) output_.BlockReady().Set();
}

}  // namespace engine
