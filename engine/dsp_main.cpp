#include "engine/dsp_main.h"

#include <algorithm>

#include "engine/exceptions.h"
#include "engine/sample_conversion.h"
#include "platform/system_error.h"

namespace engine {

namespace {
// blockReady is set for every accepted block, so the thread sleeps on it; the timeout is only a safety
// net, and Stop sets the event to end the wait at once.
constexpr uint32_t kSafetyWaitMs = 250;
}

CDspMain::CDspMain(IDriverOpener& driver, IWaveOutSystem& devices, IEngineReporter& reporter,
                   ProcessingParameters& parameters)
    : parameters_(parameters),
      link_(driver, ring_, output_),
      output_(devices, ring_),
      chain_(parameters),
      reporter_(reporter),
      buffers_{CSignalBuffer(kChannelBufferFrames), CSignalBuffer(kChannelBufferFrames)} {
  parameters.monitor.request = 0;
  parameters.monitor.secondPending = 0;
}

CDspMain::~CDspMain() { Stop(); }

void CDspMain::Start() {
  started_ = true;
  try {
    // Streams open and close on the thread that reads the driver, which may be the audio server's own.
    output_.ReserveBuffers();
    // A driver that has its blocks read on a thread of its own has them processed there as well: no
    // processing thread then waits to be woken for every block.
    link_.Open([this] { ProcessWaitingBlocks(); });
    if (link_.ReadsOnDeviceThread()) return;
    if (!thread_.Start([this] { return ProcessingThread(); }))
      throw Exception("CDspMain: CreateThread failed" + platform::SystemErrorText(EAGAIN), "Error");
  } catch (const Exception& e) { reporter_.ShowError(e.Text()); }
}

void CDspMain::Stop() {
  if (!started_) return;
  started_ = false;
  stopFlag_ = 1;
  output_.BlockReady().Set();
  platform::WaitForThreadEnd(thread_);
  thread_.Join();
  link_.Stop();
  // The device must hand every buffer back before the buffers are freed.
  output_.Close();
  output_.ReleaseBuffers();
}

uint32_t CDspMain::ProcessingThread() {
  while (!stopFlag_) {
    const uint32_t waited = output_.BlockReady().Wait(kSafetyWaitMs);
    if (waited != platform::kWaitSignalled && waited != platform::kWaitTimeout) continue;
    ProcessWaitingBlocks();  // one wake-up may stand for several blocks
  }
  return 1;
}

void CDspMain::ProcessWaitingBlocks() {
  while (!stopFlag_ && ProcessPendingBlock()) {}
}

WaveFormat CDspMain::PlayingFormat() const {
  // The capture thread closes the output when the stream stops or a format cannot be played, and reopens
  // it before it reports Formatted; so these two states are the ones with an open output.
  const int32_t state = link_.State();
  if (state != kCaptureFormatted && state != kCaptureStreaming) return {};
  const uint64_t packed = playingFormat_.load(std::memory_order_relaxed);
  WaveFormat format;
  format.samplesPerSec = static_cast<uint32_t>(packed & 0xFFFFFFFFu);
  format.bitsPerSample = static_cast<uint16_t>(packed >> 32 & 0xFFFFu);
  format.channels = static_cast<uint16_t>(packed >> 48 & 0xFFFFu);
  return format;
}

bool CDspMain::ReadBlock(WaveFormat* format, int* frames, bool* holdsSound) {
  platform::Guard guard(ring_.Lock());
  const InputSlot* const slot = ring_.ReadSlot();
  if (!slot) return false;
  if (parameters_.warningPending) parameters_.warningPending = 0;
  // Reading under the ring lock keeps a format report from emptying the ring (and refilling this slot)
  // while its bytes are converted; the lock is held for microseconds.
  *format = output_.Format();
  *frames = 0;
  *holdsSound = pcm::HoldsSound({slot->data, std::min(slot->length, kMaxBlockBytes)}, format->bitsPerSample);
  try {
    for (int ch = 0; ch < format->channels && ch < kChannels; ++ch) {
      *frames = output_.ReadChannel(*slot, buffers_[ch].Storage(), ch);
      buffers_[ch].Resize(*frames);
    }
  } catch (...) {
    ring_.Consume();  // an unreadable block must not stall the ring
    throw;
  }
  ring_.Consume();
  return true;
}

bool CDspMain::ProcessPendingBlock() {
  try {
    WaveFormat format;
    int frames = 0;
    bool holdsSound = false;
    if (!ReadBlock(&format, &frames, &holdsSound)) return false;
    if (frames == 0) return true;
    playingFormat_.store(
        uint64_t{format.samplesPerSec} | uint64_t{format.bitsPerSample} << 32 | uint64_t{format.channels} << 48,
        std::memory_order_relaxed);

    chain_.FollowSampleRate(static_cast<int>(format.samplesPerSec));
    if (output_.TakeFormatChanged()) chain_.Reset();
    ring_.DropInput(output_.Regulate(holdsSound).dropInput);

    chain_.Run(buffers_, format.channels);
    int written = 0;
    for (int ch = 0; ch < format.channels; ++ch) {
      written = output_.WriteChannel(buffers_[ch].Samples(), ch);
      if (written == 0) break;  // the device still holds the buffer: this block is dropped
    }
    output_.Submit(written);
  } catch (const Exception& e) { reporter_.ShowError(e.Text()); }
  return true;
}

}  // namespace engine
