#pragma once
// The program's settings, one global object per key of "parameters.xml".
#include "foundation/parameters/parameter.h"

namespace qtr {

extern BoolParameter LOG;
extern BoolParameter MSFS_2020;
extern BoolParameter TELLMOOR;
extern BoolParameter SCAN_LIVERIES;
extern BoolParameter SCAN_AIRPORTS;
extern StringParameter PORT_NUMBER;
extern StringParameter DESTINATION;
extern StringParameter BLOCK_CALLSIGN;
extern IntParameter LATERAL_RANGE;

// The injection radius, following LATERAL_RANGE (nm, and nm x 1852 in whole metres).
extern double lateralRangeNm;
extern std::int32_t lateralRangeMetres;

// Reads every parameter from "parameters.xml" (at each start of the worker).
void loadParameters();

} // namespace qtr
