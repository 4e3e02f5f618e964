#include "tests/view/thread_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
thread_local bool Uncounted = false;
std::atomic<unsigned long long> Allocations{0};
}  // namespace

namespace testview {

void LeaveThisThreadUncounted() { Uncounted = true; }

unsigned long long CountedAllocations() { return Allocations.load(); }

}  // namespace testview

void* operator new(std::size_t size) {
    if (!Uncounted) Allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
