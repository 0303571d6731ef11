#pragma once
// "LiveriesScanned.xml" in "output": the result of a livery scan, read back to build the livery
// data base at later starts. Worker thread only.
#include "liveries/livery_data_base.h"

#include <pugixml.hpp>

namespace qtr {

// Writes scannedLiveries to the file (through a temporary file, so that the previous one stays
// until the new one is complete); nothing when the list is empty.
void lf_saveScannedLiveries();
void lf_writeLiveryNode(pugi::xml_node liveries, const LiveryRecord& record);
// Replaces scannedLiveries by the records of the file, sorted. UserErrorException 51 (no
// readable XML file), 52 (no <liveries>) or 533 (no livery).
void lf_readLiveriesXml();

} // namespace qtr
