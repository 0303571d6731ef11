#include "airports/stand_records.h"

#include <utility>

namespace qtr {

std::vector<Stand> stands;
std::mutex standsMutex;
std::atomic<std::int32_t> standChangeCount{0};
std::atomic<std::uint64_t> standsGeneration{1};

void replaceStands(std::vector<Stand> newStands)
{
    std::lock_guard lock(standsMutex);
    stands = std::move(newStands);
    ++standsGeneration;
}

void clearStands()
{
    std::lock_guard lock(standsMutex);
    stands.clear();
    ++standsGeneration;
}

} // namespace qtr
