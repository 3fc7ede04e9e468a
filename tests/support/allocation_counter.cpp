#include "tests/support/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace testing_support {
std::atomic<std::thread::id> watchedThread{};
std::atomic<uint64_t> watchedAllocations{0};
}  // namespace testing_support

void* operator new(std::size_t size) {
  if (testing_support::watchedThread.load(std::memory_order_relaxed) == std::this_thread::get_id())
    ++testing_support::watchedAllocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) { return nullptr; }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
