#pragma once
#include <string>

namespace engine {

// How the engine shows a failure to the user: a message box with an OK button. The application
// shows it; tests capture it. Called from the user-interface thread (Start) and from the processing thread.
class IEngineReporter {
 public:
  virtual ~IEngineReporter() = default;
  virtual void ShowError(const std::string& text) = 0;
};

// Writes the text to the debug output; for programs without a window.
class DebugOutputReporter : public IEngineReporter {
 public:
  void ShowError(const std::string& text) override;
};

}  // namespace engine
