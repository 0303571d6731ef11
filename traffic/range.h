#pragma once
// The injection range: the radius around the user aircraft inside which live traffic is taken in
// and shown, held in nm and in whole metres, always equal to the shown LATERAL_RANGE.
#include <atomic>
#include <cstdint>

namespace qtr {

// Chooses the range from the flight situation of the user aircraft (worker thread).
void autoRange();
// Sets the range to nm, clamped into the bounds of LATERAL_RANGE.
void setRangeNm(std::int32_t nm);
// The user's own LATERAL_RANGE, kept while AUTO_RANGE chooses the range: noted at the worker's
// start and when AUTO_RANGE is switched on, given back when it is switched off.
extern std::atomic<std::int32_t> manualRadius;

} // namespace qtr
