#pragma once
#include <string>

namespace platform {

// The system's message for an error number (errno), or "Unknown error code %08x (%d)" with the
// code and its low 16 bits when the system has none.
std::string SystemErrorText(int code);

}  // namespace platform
