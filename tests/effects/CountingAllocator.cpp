#include "CountingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Replaces the global allocation functions of the test program that links this file.
// Kept in its own file so the compiler never inlines them into the code it checks.
namespace {
std::atomic<long> gAllocations{0};
std::atomic<std::size_t> gFailFrom{static_cast<std::size_t>(-1)};
}  // namespace

void quillon::test::failAllocationsFrom(std::size_t bytes)
{
    gFailFrom = bytes;
}

long quillon::test::allocationCount()
{
    return gAllocations.load();
}

void* operator new(std::size_t size)
{
    ++gAllocations;
    if (size >= gFailFrom.load()) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
