// Counting replacements of the allocation functions. They hand the work on
// to glibc's own allocator under its internal names, so a block from either
// side can be freed by the other (glibc's memalign family stays as it is).
#include "bench/alloc_count.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<unsigned long long> Allocations{0};  // blocks asked for
std::atomic<unsigned long long> Bytes{0};        // bytes asked for
std::atomic<unsigned long long> Frees{0};        // blocks given back

void CountAllocation(std::size_t bytes) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    Bytes.fetch_add(bytes, std::memory_order_relaxed);
}

void CountFree(void* block) {
    if (block != nullptr) Frees.fetch_add(1, std::memory_order_relaxed);
}

void* NewBlock(std::size_t size) {
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
}  // namespace

namespace bench {

AllocCount AllocationsSoFar() {
    return {Allocations.load(std::memory_order_relaxed), Bytes.load(std::memory_order_relaxed),
            Frees.load(std::memory_order_relaxed)};
}

}  // namespace bench

// --- the C library's allocation functions ------------------------------------
extern "C" {

void* malloc(std::size_t size) noexcept {
    CountAllocation(size);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    CountAllocation(count * size);
    return __libc_calloc(count, size);
}

// A realloc is one allocation of the new size; realloc(block, 0) only frees.
void* realloc(void* block, std::size_t size) noexcept {
    if (block != nullptr && size == 0)
        CountFree(block);
    else {
        CountAllocation(size);
        CountFree(block);
    }
    return __libc_realloc(block, size);
}

void free(void* block) noexcept {
    CountFree(block);
    __libc_free(block);
}

}  // extern "C"

// --- operator new and delete ----------------------------------------------------
void* operator new(std::size_t size) { return NewBlock(size); }
void* operator new[](std::size_t size) { return NewBlock(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
