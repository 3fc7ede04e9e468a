#include "audio/wav_file_output.h"

#include <chrono>

#include "audio/wave_header_flags.h"

namespace audio {

using engine::MmResult;
using engine::WaveHeader;

WavFileWaveOutSystem::WavFileWaveOutSystem(std::string path, double speed)
    : path_(std::move(path)), speed_(speed > 0 ? speed : 1.0) {}

WavFileWaveOutSystem::~WavFileWaveOutSystem() { Finish(); }

void WavFileWaveOutSystem::Finish() {
  std::lock_guard<std::mutex> lock(fileMutex_);
  if (file_) sf_close(file_);
  file_ = nullptr;
}

MmResult WavFileWaveOutSystem::DeviceName(unsigned index, std::string* name) {
  if (index != 0) return engine::kMmBadDeviceId;
  *name = "File " + path_;
  return engine::kMmNoError;
}

MmResult WavFileWaveOutSystem::Open(unsigned index, const engine::WaveFormat& format,
                                    std::unique_ptr<engine::IWaveOutStream>* stream) {
  if (index != 0) return engine::kMmBadDeviceId;
  int subtype = 0;
  switch (format.bitsPerSample) {
    case 8: subtype = SF_FORMAT_PCM_U8; break;
    case 16: subtype = SF_FORMAT_PCM_16; break;
    case 24: subtype = SF_FORMAT_PCM_24; break;
    case 32: subtype = SF_FORMAT_PCM_32; break;
    default: return engine::kWaveBadFormat;
  }
  if (format.formatTag != engine::kWaveFormatPcm || format.channels == 0 ||
      format.blockAlign != format.channels * format.bitsPerSample / 8 || format.samplesPerSec == 0)
    return engine::kWaveBadFormat;
  {
    std::lock_guard<std::mutex> lock(fileMutex_);
    if (file_) {
      // Later opens continue the same file, which holds one format only.
      if (format.channels != format_.channels || format.bitsPerSample != format_.bitsPerSample ||
          format.samplesPerSec != format_.samplesPerSec)
        return engine::kWaveBadFormat;
    } else {
      SF_INFO info{};
      info.samplerate = int(format.samplesPerSec);
      info.channels = format.channels;
      info.format = SF_FORMAT_WAV | subtype;
      file_ = sf_open(path_.c_str(), SFM_WRITE, &info);
      if (!file_) return engine::kMmNoDriver;
      format_ = format;
    }
  }
  *stream = std::make_unique<WavFileWaveOutStream>(*this, format, speed_);
  return engine::kMmNoError;
}

bool WavFileWaveOutSystem::SetMixerVolume(unsigned index, unsigned) {
  // A file is written as the engine hands it over: its one device accepts the setting and changes nothing.
  return index == 0;
}

bool WavFileWaveOutSystem::WriteFrames(std::span<const uint8_t> frames) {
  std::lock_guard<std::mutex> lock(fileMutex_);
  if (!file_) return false;
  // Raw writes store the samples exactly as given (8-bit files are unsigned by the WAV convention).
  const sf_count_t written = sf_write_raw(file_, frames.data(), sf_count_t(frames.size()));
  return written == sf_count_t(frames.size());
}

WavFileWaveOutStream::WavFileWaveOutStream(WavFileWaveOutSystem& system, const engine::WaveFormat& format, double speed)
    : system_(system), format_(format), speed_(speed) {
  player_ = std::thread([this] { Play(); });
}

WavFileWaveOutStream::~WavFileWaveOutStream() {
  stop_ = true;
  if (player_.joinable()) player_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  while (count_ > 0) {
    FinishLocked(queue_[head_]);
    head_ = (head_ + 1) % queue_.size();
    --count_;
  }
}

void WavFileWaveOutStream::FinishLocked(WaveHeader* header) { MarkHeaderDone(*header); }

// Plays the queue in order: each buffer takes its own duration, then is written to the file and marked done.
void WavFileWaveOutStream::Play() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point playing{};
  bool busy = false;
  while (!stop_) {
    WaveHeader* current = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (count_ > 0) current = queue_[head_];
    }
    if (!current) {
      busy = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    const double seconds = double(current->bufferLength / format_.blockAlign) / format_.samplesPerSec / speed_;
    const auto now = Clock::now();
    if (!busy || playing < now - std::chrono::milliseconds(50)) playing = now;  // starting (again) after a gap
    busy = true;
    playing += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (!stop_ && Clock::now() < playing) std::this_thread::sleep_for(std::chrono::microseconds(500));
    std::lock_guard<std::mutex> lock(mutex_);
    // Reset may have taken the buffer back meanwhile.
    if (count_ == 0 || queue_[head_] != current) continue;
    system_.WriteFrames({current->data, current->bufferLength});
    FinishLocked(current);
    head_ = (head_ + 1) % queue_.size();
    --count_;
  }
}

MmResult WavFileWaveOutStream::Prepare(WaveHeader& header) { return PrepareHeader(header); }

MmResult WavFileWaveOutStream::Unprepare(WaveHeader& header) { return UnprepareHeader(header); }

MmResult WavFileWaveOutStream::Write(WaveHeader& header) {
  if (!(header.flags.load() & engine::kHeaderPrepared)) return engine::kWaveUnprepared;
  if (header.bufferLength % format_.blockAlign != 0) return engine::kMmInvalidHandle;
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ == queue_.size()) return engine::kMmNoMemory;
  MarkHeaderQueued(header);
  queue_[(head_ + count_) % queue_.size()] = &header;
  ++count_;
  return engine::kMmNoError;
}

MmResult WavFileWaveOutStream::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  while (count_ > 0) {
    FinishLocked(queue_[head_]);
    head_ = (head_ + 1) % queue_.size();
    --count_;
  }
  return engine::kMmNoError;
}

MmResult WavFileWaveOutStream::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_ > 0 ? engine::kWaveStillPlaying : engine::kMmNoError;
}

MmResult WavFileWaveOutStream::SetVolume(uint32_t volume) {
  volume_ = volume;
  return engine::kMmNoError;
}

}  // namespace audio
