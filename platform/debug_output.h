#pragma once
#include <string>

namespace platform {

// Diagnostic text for developers (goes to stderr). Never shown to the user.
void OutputDebugText(const std::string& text);

}  // namespace platform
