#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

namespace engine_tests {

// Heap allocations made on one watched thread; the test binary replaces operator new to count them.
extern std::atomic<std::thread::id> watchedThread;
extern std::atomic<uint64_t> watchedAllocations;

}  // namespace engine_tests
