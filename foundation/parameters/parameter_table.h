#pragma once
// The program's settings, one global object per key of "parameters.xml".
#include "foundation/parameters/parameter.h"

namespace qtr {

extern BoolParameter LOG;
extern BoolParameter MSFS_2020;
extern BoolParameter TELLMOOR;
extern BoolParameter SCAN_LIVERIES;
extern BoolParameter SCAN_AIRPORTS;
extern BoolParameter NAV_LIGHTS_WHILE_PARKED;
extern StringParameter PORT_NUMBER;
extern StringParameter DESTINATION;
extern StringParameter BLOCK_CALLSIGN;

// Reads every parameter from "parameters.xml" (at each start of the worker).
void loadParameters();

} // namespace qtr
