#include "foundation/parameters/parameter_table.h"

#include <pugixml.hpp>

namespace qtr {

BoolParameter LOG("LOG", true);
BoolParameter MSFS_2020("MSFS_2020", true);
BoolParameter TELLMOOR("TELLMOOR", false);
BoolParameter SCAN_LIVERIES("SCAN_LIVERIES", true);
BoolParameter SCAN_AIRPORTS("SCAN_AIRPORTS", true);
BoolParameter NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true);
StringParameter PORT_NUMBER("PORT_NUMBER", "10747");
StringParameter DESTINATION("DESTINATION", "");
StringParameter BLOCK_CALLSIGN("BLOCK_CALLSIGN", "");

void loadParameters()
{
    pugi::xml_document doc;
    loadParametersDocument(doc);
    for (BoolParameter* p : {&LOG, &MSFS_2020, &TELLMOOR, &SCAN_LIVERIES, &SCAN_AIRPORTS, &NAV_LIGHTS_WHILE_PARKED}) p->read(doc);
    for (StringParameter* p : {&PORT_NUMBER, &DESTINATION, &BLOCK_CALLSIGN}) p->read(doc);
}

} // namespace qtr
