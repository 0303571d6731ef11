#include "foundation/parameters/lateral_range.h"

#include "foundation/parameters/parameter_table.h"

namespace qtr {

// LATERAL_RANGE\'s default (written out: that object may be built after this one).
std::atomic<std::int32_t> manualRadius{40};

namespace {

// Written by the worker's start, read by the worker: a plain function pointer, one atomic load.
std::atomic<RangeChooser> rangeChooser{nullptr};

} // namespace

void setRangeNm(std::int32_t nm)
{
    const std::int32_t value = LATERAL_RANGE.clamp(nm);
    LATERAL_RANGE.setValue(value);
    lateralRangeNm.store(static_cast<double>(value));
    lateralRangeMetres.store(value * 1852);
}

void setRangeChooser(RangeChooser chooser) { rangeChooser.store(chooser); }

void chooseRange()
{
    if (RangeChooser chooser = rangeChooser.load()) chooser();
}

} // namespace qtr
