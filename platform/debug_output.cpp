#include "platform/debug_output.h"

#include <cstdio>

namespace platform {

// One fprintf call per line: stdio locks the stream, so lines from several threads never mix.
void OutputDebugText(const std::string& text) { std::fprintf(stderr, "tonvex: %s\n", text.c_str()); }

}  // namespace platform
