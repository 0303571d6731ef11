#pragma once
// The automatic choice of the injection range (the range itself: foundation/parameters/lateral_range.h).
#include "foundation/parameters/lateral_range.h"

namespace qtr {

// Chooses the range from the flight situation of the user aircraft (worker thread).
void autoRange();

} // namespace qtr
