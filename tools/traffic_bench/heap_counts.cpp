// The global operator new and delete of the bench, counting every call. In a file of their own:
// beside the measured code, the compiler would see malloc paired with delete and warn.
#include "heap_counts.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> frees{0};

void* allocate(std::size_t n)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(n == 0 ? 1 : n);
}

void release(void* p)
{
    if (!p) return;
    frees.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}

} // namespace

namespace bench {

HeapCounts heapCounts()
{
    return HeapCounts{allocations.load(std::memory_order_relaxed), frees.load(std::memory_order_relaxed)};
}

} // namespace bench

void* operator new(std::size_t n)
{
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t n)
{
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}

void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
