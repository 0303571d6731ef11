#pragma once
// The per-pass work of the traffic manager and the reservation of its tables.
#include <cstdint>

namespace qtr {

void trafficTick();
void reserveTables();

// The passes from the current tick on that would only count the tick, up to the next one with
// work (0 when the next pass has some): none while any aircraft is handled or anything waits
// for the passes, else up to the next request of the aircraft in range (every 20 ticks; the
// own position's every 100 falls on one of them). Worker thread; the simulator running.
std::uint32_t idlePasses();
// Counts passes slept through. Reports queued meanwhile were stamped with the count as it stood
// and move on with it, as if those passes had run.
void countIdlePasses(std::uint32_t passes);

} // namespace qtr
