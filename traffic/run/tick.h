#pragma once
// The per-pass work of the traffic manager and the reservation of its tables.
namespace qtr {

void trafficTick();
void reserveTables();

} // namespace qtr
