#include "foundation/parameters/parameter_table.h"

#include <pugixml.hpp>

namespace qtr {

BoolParameter LOG("LOG", true);
BoolParameter MSFS_2020("MSFS_2020", true);
BoolParameter TELLMOOR("TELLMOOR", false);
BoolParameter SCAN_LIVERIES("SCAN_LIVERIES", true);
BoolParameter SCAN_AIRPORTS("SCAN_AIRPORTS", true);
StringParameter PORT_NUMBER("PORT_NUMBER", "10747");
StringParameter DESTINATION("DESTINATION", "");
StringParameter BLOCK_CALLSIGN("BLOCK_CALLSIGN", "");
StringParameter MSFS_INSTALL_PATH("MSFS_INSTALL_PATH", "");
StringParameter MSFS_2024_INSTALL_PATH("MSFS_2024_INSTALL_PATH", "");
StringParameter PROGRAM_INSTALL_PATH("PROGRAM_INSTALL_PATH", "");
StringParameter MYVENDRAKE24_VERSION("MYVENDRAKE24_VERSION", "");
StringParameter DOWNLOAD_SITE("DOWNLOAD_SITE", "https://downloads.quillmarsh.example/");

void loadParameters()
{
    pugi::xml_document doc;
    loadParametersDocument(doc);
    for (BoolParameter* p : {&LOG, &MSFS_2020, &TELLMOOR, &SCAN_LIVERIES, &SCAN_AIRPORTS}) p->read(doc);
    for (StringParameter* p : {&PORT_NUMBER, &DESTINATION, &BLOCK_CALLSIGN, &MSFS_INSTALL_PATH, &MSFS_2024_INSTALL_PATH,
                               &PROGRAM_INSTALL_PATH, &MYVENDRAKE24_VERSION, &DOWNLOAD_SITE})
        p->read(doc);
}

} // namespace qtr
