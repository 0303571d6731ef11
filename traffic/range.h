#pragma once
// The injection range: the radius around the user aircraft inside which live traffic is taken in
// and shown, held in nm and in whole metres, always equal to the shown LATERAL_RANGE.
#include <cstdint>

namespace qtr {

// The LATERAL_RANGE value chosen by hand, kept while AUTO_RANGE is on and restored when it goes
// off (worker thread).
extern std::int32_t manualRadius;

// Chooses the range from the flight situation of the user aircraft (worker thread).
void autoRange();
// Sets the range to nm, clamped into the bounds of LATERAL_RANGE.
void setRangeNm(std::int32_t nm);

} // namespace qtr
