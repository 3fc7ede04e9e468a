#pragma once
#include <string>

namespace engine {

// The engine's failures. Plain objects on purpose: they are caught by type at the thread borders
// and shown as "Exception <title>: <message>".
class Exception {
 public:
  Exception(std::string message, std::string title) : message(std::move(message)), title(std::move(title)) {}
  std::string Text() const { return "Exception " + title + ": " + message; }

  std::string message;
  std::string title;
};

class ParamException : public Exception {
 public:
  explicit ParamException(std::string message) : Exception(std::move(message), "Parameter Error") {}
};

class MemoryException : public Exception {
 public:
  explicit MemoryException(std::string message) : Exception(std::move(message), "Memory Error") {}
};

}  // namespace engine
