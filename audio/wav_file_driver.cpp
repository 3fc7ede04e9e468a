#include "audio/wav_file_driver.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace audio {
namespace {

bool NarrowFormat(int format) {
  const int subtype = format & SF_FORMAT_SUBMASK;
  return subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_16 ||
         subtype == SF_FORMAT_ULAW || subtype == SF_FORMAT_ALAW;
}

}  // namespace

WavFileDriverDevice::WavFileDriverDevice(SNDFILE* file, const SF_INFO& info, double speed)
    : file_(file), info_(info), speed_(speed > 0 ? speed : 1.0) {
  format_ = MakeStreamFormat(uint16_t(info.channels), NarrowFormat(info.format) ? 16 : 32, uint32_t(info.samplerate));
  block_.resize(format_.blockBytes);
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  // Floating-point files are converted here: the library's own float-to-integer scaling follows the file's
  // peak rather than full scale.
  if (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE) floats_.resize(block_.size() / 4);
  player_ = std::thread([this] { Play(); });
}

WavFileDriverDevice::~WavFileDriverDevice() {
  stop_ = true;
  if (player_.joinable()) player_.join();
  sf_close(file_);
}

void WavFileDriverDevice::Play() {
  using Clock = std::chrono::steady_clock;
  const sf_count_t frames = format_.blockBytes / (format_.channels * format_.bitsPerSample / 8);
  const auto blockTime = std::chrono::duration<double>(double(frames) / info_.samplerate / speed_);
  queue_.Start(format_);
  auto due = Clock::now();
  while (!stop_) {
    sf_count_t got = 0;
    if (format_.bitsPerSample == 16) {
      got = sf_readf_short(file_, reinterpret_cast<short*>(block_.data()), frames);
    } else if (floats_.empty()) {
      got = sf_readf_int(file_, reinterpret_cast<int*>(block_.data()), frames);
    } else {
      got = sf_readf_double(file_, floats_.data(), frames);
      auto* samples = reinterpret_cast<int32_t*>(block_.data());
      for (sf_count_t i = 0; i < got * format_.channels; ++i)
        samples[i] = int32_t(std::lrint(std::clamp(floats_[size_t(i)], -1.0, 1.0) * 2147483647.0));
    }
    if (got <= 0) break;
    queue_.Push(std::span(block_).first(size_t(got) * format_.channels * format_.bitsPerSample / 8));
    due += std::chrono::duration_cast<Clock::duration>(blockTime * (double(got) / frames));
    std::this_thread::sleep_until(due);
  }
  queue_.Stop();
  done_ = true;
}

bool WavFileDriverDevice::Finished() const { return done_ && queue_.Drained(); }

bool WavFileDriverDevice::Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned,
                                  uint32_t* error) {
  return queue_.Answer(code, output, outputBytes, bytesReturned, error);
}

std::unique_ptr<engine::IDriverDevice> WavFileDriverOpener::Open(const std::string&) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path_.c_str(), SFM_READ, &info);
  if (!file) {
    error_ = path_ + ": " + sf_strerror(nullptr);
    return nullptr;
  }
  if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0) {
    error_ = path_ + ": only mono and stereo files can be played";
    sf_close(file);
    return nullptr;
  }
  auto device = std::make_unique<WavFileDriverDevice>(file, info, speed_);
  device_ = device.get();
  return device;
}

}  // namespace audio
