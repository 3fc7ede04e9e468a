#include "platform/system_error.h"

#include <cstdio>
#include <cstring>

namespace platform {

std::string SystemErrorText(int code) {
  char buffer[256] = {};
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  std::string message = text ? text : "";
  if (message.empty() || message.rfind("Unknown error", 0) == 0) {
    char fallback[64];
    std::snprintf(fallback, sizeof fallback, "Unknown error code %08x (%d)", static_cast<unsigned>(code),
                  code & 0xFFFF);
    return fallback;
  }
  return message.substr(0, message.find('\r'));
}

}  // namespace platform
