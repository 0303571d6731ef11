#pragma once
// The simulator's stock aircraft models by folder name, for aircraft.cfg files that name their
// model only by base_container. Built before the entry, never changed; read by the scan tasks.
#include "liveries/fnv_hash.h"

#include <string>

namespace qtr {

extern const FnvMap<std::string> stockModelTypes;

// The ICAO type of a stock model folder (exact, case-sensitive); "" when it is not one.
std::string stockModelType(std::string_view folder);

} // namespace qtr
