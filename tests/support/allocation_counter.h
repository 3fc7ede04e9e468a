#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

namespace testing_support {

// Heap allocations made on one watched thread: linking this file replaces operator new to count them. The
// audio path must allocate nothing once its buffers exist.
extern std::atomic<std::thread::id> watchedThread;
extern std::atomic<uint64_t> watchedAllocations;

}  // namespace testing_support
