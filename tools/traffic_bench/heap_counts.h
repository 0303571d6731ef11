#pragma once
// Counts of the heap allocations and frees made through operator new and delete in this
// executable (the bench replaces the global operators), read before and after a measured pass.
#include <cstddef>

namespace bench {

struct HeapCounts {
    std::size_t allocations = 0;
    std::size_t frees = 0;
};

HeapCounts heapCounts();

} // namespace bench
