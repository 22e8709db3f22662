// Counts what the benchmark binary takes from the heap, to report the peak memory of a load
// and to show that a scan allocates nothing.

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "bench/bench_support.h"

namespace kvx {
namespace heap {
// The counters outlive every allocation, so they cannot be objects with a constructor that
// might run after the first operator new.
constinit std::atomic<std::size_t> inUse{0};
constinit std::atomic<std::size_t> peak{0};
constinit std::atomic<std::size_t> allocations{0};

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    const std::size_t taken = malloc_usable_size(p);
    const std::size_t now = inUse.fetch_add(taken) + taken;
    allocations.fetch_add(1, std::memory_order_relaxed);
    std::size_t seen = heap::peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return p;
}

void release(void* p) noexcept {
    if (p != nullptr) {
        inUse.fetch_sub(malloc_usable_size(p));
        std::free(p);
    }
}
} // namespace heap

std::size_t heapInUse() noexcept {
    return heap::inUse.load();
}
std::size_t heapPeak() noexcept {
    return heap::peak.load();
}
void resetHeapPeak() noexcept {
    heap::peak.store(heap::inUse.load());
}
std::size_t heapAllocations() noexcept {
    return heap::allocations.load(std::memory_order_relaxed);
}

} // namespace kvx

// The replaceable global allocation functions must be declared at global scope.
void* operator new(std::size_t size) {
    return kvx::heap::allocate(size);
}
void* operator new[](std::size_t size) {
    return kvx::heap::allocate(size);
}
void operator delete(void* p) noexcept {
    kvx::heap::release(p);
}
void operator delete[](void* p) noexcept {
    kvx::heap::release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    kvx::heap::release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    kvx::heap::release(p);
}
