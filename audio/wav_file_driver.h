#pragma once
#include <sndfile.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/capture_queue.h"
#include "engine/driver_protocol.h"

namespace audio {

// A driver that plays a sound file into the protocol at the file's own pace (times `speed`): a format
// report, the file in blocks of about 10 ms, then a stop report. Files of 16 bits or fewer arrive as 16-bit
// samples, everything else (24 and 32-bit integer, float) as 32-bit samples.
class WavFileDriverDevice : public engine::IDriverDevice {
 public:
  WavFileDriverDevice(SNDFILE* file, const SF_INFO& info, double speed);
  ~WavFileDriverDevice() override;

  bool Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error) override;
  // The whole file has been delivered and the stop report taken.
  bool Finished() const;
  const engine::StreamFormat& Format() const { return format_; }

 private:
  void Play();

  SNDFILE* file_;
  const SF_INFO info_;
  const double speed_;
  engine::StreamFormat format_{};
  CaptureQueue queue_;
  std::vector<uint8_t> block_;
  std::vector<double> floats_;  // floating-point files only
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::thread player_;
};

class WavFileDriverOpener : public engine::IDriverOpener {
 public:
  explicit WavFileDriverOpener(std::string path, double speed = 1.0) : path_(std::move(path)), speed_(speed) {}
  // Null (with Error() telling why) when the file cannot be read or has more than two channels.
  std::unique_ptr<engine::IDriverDevice> Open(const std::string& deviceName) override;
  const std::string& Error() const { return error_; }
  // The device handed out last; owned by the engine.
  WavFileDriverDevice* Device() const { return device_; }

 private:
  std::string path_;
  double speed_;
  std::string error_;
  WavFileDriverDevice* device_ = nullptr;
};

}  // namespace audio
