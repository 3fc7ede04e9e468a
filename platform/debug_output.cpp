#include "platform/debug_output.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {
std::mutex sinkMutex;
std::function<void(const std::string&)> sink;
}  // namespace

void OutputDebugText(const std::string& text) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  if (sink) {
    sink(text);
    return;
  }
  std::fprintf(stderr, "tonvex: %s\n", text.c_str());
}

void SetDebugOutputSink(std::function<void(const std::string&)> newSink) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  sink = std::move(newSink);
}

}  // namespace platform
