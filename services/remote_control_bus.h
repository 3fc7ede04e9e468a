#pragma once
#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace services {

// Where the running program answers on the session bus: the well-known name is the application's id (its
// desktop metainfo's), the object path and the interface follow from it. `tonvex-cli control` calls these.
inline constexpr const char* kRemoteService = "io.github.brevalto.Tonvex";
inline constexpr const char* kRemotePath = "/io/github/brevalto/Tonvex";
inline constexpr const char* kRemoteInterface = "io.github.brevalto.Tonvex.Control";
// The error a call gets back when the preset or the file it names cannot be loaded.
inline constexpr const char* kRemoteErrorNotFound = "io.github.brevalto.Tonvex.Error.NotFound";

// The keys of Status()'s answer, in the order `tonvex-cli control status` prints them.
inline constexpr const char* kStatusConfiguration = "configuration";  // as the preset list shows it
inline constexpr const char* kStatusOutputDevice = "output device";
inline constexpr const char* kStatusFormat = "format";  // "48000 Hz, 16 bit, 2 channels", or "idle"
inline constexpr const char* kStatusBypass = "bypass";  // "on" or "off"
inline constexpr const char* kStatusDroppedBlocks = "dropped blocks";
inline constexpr const char* kStatusKeys[] = {kStatusConfiguration, kStatusOutputDevice, kStatusFormat, kStatusBypass,
                                              kStatusDroppedBlocks};

// Whether the user's session names a bus: DBUS_SESSION_BUS_ADDRESS, or the bus socket in XDG_RUNTIME_DIR.
// Without either, D-Bus would try to start a bus of its own for this process ("autolaunch"), where no other
// program could be reached: both ends of the remote control stay off the bus instead.
inline bool SessionBusConfigured() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat status {};
  return runtime && *runtime && ::stat((std::string(runtime) + "/bus").c_str(), &status) == 0 &&
         S_ISSOCK(status.st_mode);
}

}  // namespace services
