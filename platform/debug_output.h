#pragma once
#include <functional>
#include <string>

namespace platform {

// Diagnostic text for developers (goes to stderr). Never shown to the user.
void OutputDebugText(const std::string& text);

// Routes debug output elsewhere (tests capture it); an empty function restores stderr.
void SetDebugOutputSink(std::function<void(const std::string&)> sink);

}  // namespace platform
