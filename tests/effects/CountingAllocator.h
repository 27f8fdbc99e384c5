#pragma once

#include <cstddef>

namespace quillon::test {

// Number of calls of the global operator new so far in this program.
long allocationCount();

// From now on allocations of `bytes` or more throw std::bad_alloc, as when memory runs out.
void failAllocationsFrom(std::size_t bytes);

}  // namespace quillon::test
