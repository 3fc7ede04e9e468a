#include "engine/engine_reporter.h"

#include "platform/debug_output.h"

namespace engine {

void DebugOutputReporter::ShowError(const std::string& text) { platform::OutputDebugText(text); }

}  // namespace engine
