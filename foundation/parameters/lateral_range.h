#pragma once
// The injection range: the radius around the user aircraft inside which live traffic is taken in
// and shown, held in nm and in whole metres, always equal to the shown LATERAL_RANGE. Setting it
// needs only the parameters; choosing it automatically needs the traffic manager's view of the
// user aircraft, so the traffic manager registers that chooser for the settings readers below it.
#include <atomic>
#include <cstdint>

namespace qtr {

// Sets the range to nm, clamped into the bounds of LATERAL_RANGE.
void setRangeNm(std::int32_t nm);
// The user's own LATERAL_RANGE, kept while AUTO_RANGE chooses the range: noted at the worker's
// start and when AUTO_RANGE is switched on, given back when it is switched off.
extern std::atomic<std::int32_t> manualRadius;

// Chooses the range from the flight situation of the user aircraft (worker thread): the
// registered chooser; nothing while none is registered.
using RangeChooser = void (*)();
void setRangeChooser(RangeChooser chooser);
void chooseRange();

} // namespace qtr
