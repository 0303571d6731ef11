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
extern StringParameter MSFS_INSTALL_PATH;
extern StringParameter MSFS_2024_INSTALL_PATH;
extern StringParameter PROGRAM_INSTALL_PATH;
extern StringParameter MYVENDRAKE24_VERSION;
// The download site's root address (ends with '/'), see tools/httpd/SITE_LAYOUT.md.
extern StringParameter DOWNLOAD_SITE;

// Reads every parameter from "parameters.xml" (at each start of the worker).
void loadParameters();

} // namespace qtr
