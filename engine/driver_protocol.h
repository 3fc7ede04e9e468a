#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace engine {

// The virtual playback device's link to the engine: a device opened by name, a named event that the
// driver signals when data waits, and three requests whose byte counts are the answers.
inline constexpr const char* kDriverDeviceName = "\\\\.\\Mixlet";
inline constexpr const char* kDriverEventName = "MixletEvent";
// The playback device every program plays into; everything else recognises it by this name alone.
inline constexpr const char* kVirtualDeviceName = "Tonvex (Brevalto)";

inline constexpr uint32_t kRequestRegisterEvent = 0x222404;  // driver opens kDriverEventName
inline constexpr uint32_t kRequestReadBlock = 0x22E40F;      // output: up to kMaxBlockBytes of PCM
inline constexpr uint32_t kRequestReadFormat = 0x22E413;     // output: StreamFormat, 12 bytes

// Answers of kRequestReadBlock other than a byte count of PCM.
inline constexpr uint32_t kReadNothingWaiting = 0;
inline constexpr uint32_t kReadFormatChanged = 1;
inline constexpr uint32_t kReadStopped = 2;

inline constexpr uint32_t kMaxBlockBytes = 16384;
// The driver's "try again" error for a format request made while the format is still settling.
inline constexpr uint32_t kErrorNoAccess = 998;

#pragma pack(push, 1)
struct StreamFormat {
  uint16_t channels = 0;
  uint16_t bitsPerSample = 0;
  uint32_t samplesPerSec = 0;
  uint32_t blockBytes = 0;
};
#pragma pack(pop)
static_assert(sizeof(StreamFormat) == 12, "the driver's format record is 12 bytes");

// An open driver device. Requests are synchronous and carry no input buffer.
class IDriverDevice {
 public:
  virtual ~IDriverDevice() = default;
  // On success returns true with the answer in *bytesReturned; on failure false with *error set.
  virtual bool Control(uint32_t code, void* output, uint32_t outputBytes, uint32_t* bytesReturned, uint32_t* error) = 0;
  // A device that produces its data on a thread of its own may have it read there: `reader` is then called
  // on that thread, instead of the event being set, whenever something waits; the reader needs no thread of
  // its own to wake for every block. Null ends it: once that call returns, the reader is not called again.
  // False when the device cannot.
  virtual bool ReadOnDeviceThread(std::function<void()> /*reader*/) { return false; }
};

// Opens driver devices by name.
class IDriverOpener {
 public:
  virtual ~IDriverOpener() = default;
  // Null when no such device exists (no driver installed, no audio server).
  virtual std::unique_ptr<IDriverDevice> Open(const std::string& deviceName) = 0;
};

}  // namespace engine
