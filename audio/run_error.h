#pragma once
#include <stdexcept>

namespace audio {

// A failure while working (no audio server, no playback device, an unreadable file): the command line
// prints it and exits with status 1, the desktop program shows it.
class RunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace audio
